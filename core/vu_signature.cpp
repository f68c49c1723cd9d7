// Signature checks of a vehicle-unit download. Each block signs the bytes between its TREP (the
// overview: its certificates) and its signature; the overview carries the member-state and unit
// certificates that give the key.
#include "core/vu_signature.h"

#include <algorithm>
#include <optional>
#include <variant>

#include "core/primitives.h"

namespace ddd {
namespace {

// The unit's key of either generation; monostate when the chain failed.
using UnitKey = std::variant<std::monostate, RsaPublicKey, Gen2SignatureKey>;

struct Checker {
    const VuDownload& vu;
    const TrustAnchors& anchors;
    AuthenticityCheck check;
    bool anchored = true;
    bool onlyMissing = true;

    void problem(const std::string& subject, const std::string& detail, const std::string& sentence, bool missing = false) {
        check.problems.push_back(subject + ": " + detail);
        check.sentences.push_back(sentence);
        onlyMissing = onlyMissing && missing;
    }
    void certificateProblem(const char* which, const std::string& detail, const std::string& sentence, bool missing = false) {
        problem(std::string(which) + " certificate of the vehicle unit", detail, sentence, missing);
    }

    UnitKey gen1Key() {
        const Bytes memberState = vu.memberStateCertificate;
        const Bytes unit = vu.vuCertificate;
        const auto rootId = gen1CertificateAuthority(memberState);
        if (!rootId || !gen1CertificateAuthority(unit)) {
            certificateProblem("member-state or unit", "missing or malformed",
                               "Die Zertifikate des Fahrzeuggeräts fehlen oder sind beschädigt, daher lassen sich die Signaturen nicht prüfen.", true);
            return {};
        }
        const auto root = std::find_if(anchors.gen1Roots.begin(), anchors.gen1Roots.end(), [&](const RsaPublicKey& k) { return k.id == *rootId; });
        if (root == anchors.gen1Roots.end()) {
            certificateProblem("member-state", "signed by unknown root key " + keyIdText(*rootId),
                               "Das Zertifikat des Mitgliedstaats ist mit einem Wurzelschlüssel unterschrieben, der dem Programm nicht als vertrauenswürdig bekannt ist.");
            return {};
        }
        const Gen1CertificateCheck ms = openGen1Certificate(memberState, *root);
        if (!ms.certificate) {
            certificateProblem("member-state", ms.error, "Das Zertifikat des Mitgliedstaats lässt sich mit dem Wurzelschlüssel nicht bestätigen.");
            return {};
        }
        const Gen1CertificateCheck own = openGen1Certificate(unit, ms.certificate->key);
        if (!own.certificate) {
            certificateProblem("unit", own.error, "Das Zertifikat des Fahrzeuggeräts lässt sich mit dem Schlüssel des Mitgliedstaats nicht bestätigen.");
            return {};
        }
        check.notes.push_back("unit certificate " + keyIdText(own.certificate->key.id));
        return own.certificate->key;
    }

    UnitKey gen2Key() {
        const Gen2CertificateParse ms = parseGen2Certificate(vu.memberStateCertificate);
        const Gen2CertificateParse unit = parseGen2Certificate(vu.vuCertificate);
        if (!ms.certificate || !unit.certificate) {
            certificateProblem("member-state or unit", ms.certificate ? unit.error : ms.error,
                               "Die Zertifikate des Fahrzeuggeräts fehlen oder sind beschädigt, daher lassen sich die Signaturen nicht prüfen.",
                               vu.memberStateCertificate.empty() || vu.vuCertificate.empty());
            return {};
        }
        if (unit.certificate->authority != ms.certificate->holder || !verifyGen2Certificate(*unit.certificate, *ms.certificate)) {
            certificateProblem("unit", "does not verify with " + keyIdText(ms.certificate->holder),
                               "Das Zertifikat des Fahrzeuggeräts lässt sich mit dem Schlüssel des Mitgliedstaats nicht bestätigen.");
            return {};
        }
        const auto root = std::find_if(anchors.gen2Roots.begin(), anchors.gen2Roots.end(),
                                       [&](const Gen2Certificate& r) { return r.holder == ms.certificate->authority; });
        if (root == anchors.gen2Roots.end()) {
            anchored = false;
            check.notes.push_back("member-state certificate: signed by root " + keyIdText(ms.certificate->authority) +
                                  ", which is not among the trusted roots");
        } else if (!verifyGen2Certificate(*ms.certificate, *root)) {
            certificateProblem("member-state", "does not verify with " + keyIdText(root->holder),
                               "Das Zertifikat des Mitgliedstaats lässt sich mit dem Wurzelschlüssel nicht bestätigen.");
            return {};
        }
        check.notes.push_back("unit certificate " + keyIdText(unit.certificate->holder));
        return UnitKey(std::in_place_type<Gen2SignatureKey>, *unit.certificate);
    }

    void block(Bytes data, const VuBlock& b, const UnitKey& key) {
        const std::string subject = vuBlockName(b) + " at offset " + std::to_string(b.offset);
        const std::string german = "Der Block „" + vuBlockName(b) + "“ ab Byte " + std::to_string(b.offset);
        if (!b.whole) {
            problem(subject, "incomplete", german + " ist unvollständig; seine Signatur lässt sich nicht prüfen.");
            return;
        }
        if (b.signature.empty()) {
            problem(subject, "not signed", german + " trägt keine Signatur.");
            return;
        }
        if (std::holds_alternative<std::monostate>(key)) return;
        if (b.signedBegin > b.signedEnd || b.signedEnd > data.size()) {
            problem(subject, "signed range outside the file", german + " ist beschädigt.");
            return;
        }
        const Bytes signedBytes = data.subspan(b.signedBegin, b.signedEnd - b.signedBegin);
        const bool valid = std::holds_alternative<RsaPublicKey>(key)
                               ? verifyGen1Signature(signedBytes, b.signature, std::get<RsaPublicKey>(key))
                               : std::get<Gen2SignatureKey>(key).verifies(signedBytes, b.signature);
        if (!valid) {
            problem(subject, "signature does not match the block",
                    german + " stimmt nicht mit seiner Signatur überein: die Daten wurden nach dem Auslesen verändert oder beschädigt.");
        }
    }
};

bool allZero(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

AuthenticityCheck verifyVuDownload(Bytes data, const VuDownload& vu, const TrustAnchors& anchors) {
    Checker checker{vu, anchors, {}};
    const bool gen1 = vu.generation == VuGeneration::First;
    std::vector<const VuBlock*> blocks;
    for (const VuBlock& b : vu.blocks) {
        if (b.kind != VuBlockKind::Unknown) blocks.push_back(&b);
    }
    const bool anySignature = std::any_of(blocks.begin(), blocks.end(), [](const VuBlock* b) { return !allZero(b->signature); });
    if (!anySignature && allZero(vu.memberStateCertificate) && allZero(vu.vuCertificate)) {
        checker.check.status = Authenticity::Unsigned;
        return checker.check;
    }
    const UnitKey key = gen1 ? checker.gen1Key() : checker.gen2Key();
    for (const VuBlock* b : blocks) checker.block(data, *b, key);
    AuthenticityCheck& check = checker.check;
    if (!check.problems.empty()) {
        check.status = checker.onlyMissing ? Authenticity::Uncheckable : Authenticity::Invalid;
    } else {
        check.status = checker.anchored ? Authenticity::Valid : Authenticity::Unanchored;
    }
    return check;
}

}  // namespace ddd
