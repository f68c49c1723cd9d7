// Chain and file-signature checks of a card download. Each generation's application is checked
// on its own records: certificates and data with appendix 0 (first generation) or 2 (second),
// each signed file followed by its signature record with the next appendix.
#include "core/card_signature.h"

#include <cstdio>
#include <optional>

#include "core/card_file.h"
#include "core/primitives.h"

namespace ddd {
namespace {

constexpr std::uint16_t kFidIcc = 0x0002;
constexpr std::uint16_t kFidIc = 0x0005;
constexpr std::uint16_t kFidCardCertificate = 0xC100;
constexpr std::uint16_t kFidCardSignCertificate = 0xC101;
constexpr std::uint16_t kFidCaCertificate = 0xC108;
constexpr std::uint16_t kFidLinkCertificate = 0xC109;
constexpr std::uint32_t kNoEndOfValidity = 0xFFFFFFFF;

const char* efName(std::uint16_t fid) {
    switch (fid) {
    case kFidIcc: return "ICC";
    case kFidIc: return "IC";
    case 0x0501: return "Application_Identification";
    case 0x0502: return "Events_Data";
    case 0x0503: return "Faults_Data";
    case 0x0504: return "Driver_Activity_Data";
    case 0x0505: return "Vehicles_Used";
    case 0x0506: return "Places";
    case 0x0507: return "Current_Usage";
    case 0x0508: return "Control_Activity_Data";
    case 0x050E: return "Card_Download";
    case 0x0520: return "Identification";
    case 0x0521: return "Driving_Licence_Info";
    case 0x0522: return "Specific_Conditions";
    case 0x0523: return "Vehicle_Units_Used";
    case 0x0524: return "GNSS_Places";
    case 0x0525: return "Application_Identification_V2";
    case 0x0526: return "Places_Authentication";
    case 0x0527: return "GNSS_Places_Authentication";
    case 0x0528: return "Border_Crossings";
    case 0x0529: return "Load_Unload_Operations";
    case 0x0530: return "Load_Type_Entries";
    case 0x0540: return "VU_Configuration";
    case kFidCardCertificate: return "Card_Certificate";
    case kFidCardSignCertificate: return "Card_Sign_Certificate";
    case kFidCaCertificate: return "CA_Certificate";
    case kFidLinkCertificate: return "Link_Certificate";
    default: return nullptr;
    }
}

// "Places (0x0506, first generation)": how a problem names the file it is about.
std::string fileName(std::uint16_t fid, bool gen2) {
    char buffer[80];
    const char* name = efName(fid);
    std::snprintf(buffer, sizeof buffer, "%s (0x%04X, %s generation)", name ? name : "EF", fid, gen2 ? "second" : "first");
    return buffer;
}

bool isCertificate(std::uint16_t fid) {
    return fid == kFidCardCertificate || fid == kFidCardSignCertificate || fid == kFidCaCertificate ||
           fid == kFidLinkCertificate;
}

// The chip's own files and the certificates are not signed by the card.
bool needsSignature(std::uint16_t fid) { return fid != kFidIcc && fid != kFidIc && !isCertificate(fid); }

std::string validityText(std::uint32_t endOfValidity) {
    return endOfValidity == kNoEndOfValidity ? "without end of validity"
                                             : "valid until " + formatDate(static_cast<std::int64_t>(endOfValidity));
}

// What went wrong with a file or certificate, for the sentence the user reads.
enum class Problem {
    Missing,            // a certificate is not in the download: nothing can be checked
    Malformed,          // a certificate is damaged or incomplete
    UnknownSigner,      // signed by a key the chain does not hold
    UntrustedRoot,      // signed by a root key the program does not know
    DoesNotVerify,      // a certificate's signature fails
    NotSigned,          // a data file without its signature
    SignatureMismatch,  // a data file differs from what was signed
    StraySignature,     // a signature without its data
};

// "Das Kartenzertifikat (1. Generation)", "Die Datei „Places“ (2. Generation)".
std::string germanSubject(std::uint16_t fid, bool gen2) {
    const std::string generation = gen2 ? " (2. Generation)" : " (1. Generation)";
    switch (fid) {
    case kFidCardCertificate: return "Das Kartenzertifikat" + generation;
    case kFidCardSignCertificate: return "Das Signaturzertifikat der Karte" + generation;
    case kFidCaCertificate: return "Das Zertifikat des Mitgliedstaats" + generation;
    case kFidLinkCertificate: return "Das Verbindungszertifikat" + generation;
    default: break;
    }
    const char* name = efName(fid);
    return std::string("Die Datei \u201E") + (name ? name : "EF") + "\u201C" + generation;
}

std::string germanSentence(Problem problem, const std::string& subject) {
    switch (problem) {
    case Problem::Missing: return subject + " fehlt im Download, daher lassen sich die Signaturen nicht prüfen.";
    case Problem::Malformed: return subject + " ist beschädigt oder unvollständig.";
    case Problem::UnknownSigner: return subject + " stammt nicht von der Stelle, deren Zertifikat im Download liegt.";
    case Problem::UntrustedRoot:
        return subject + " ist mit einem Wurzelschlüssel unterschrieben, der dem Programm nicht als vertrauenswürdig bekannt ist.";
    case Problem::DoesNotVerify: return subject + " lässt sich mit dem Schlüssel der ausstellenden Stelle nicht bestätigen.";
    case Problem::NotSigned: return subject + " trägt keine Signatur.";
    case Problem::SignatureMismatch:
        return subject + " stimmt nicht mit ihrer Signatur überein: die Daten wurden nach dem Auslesen verändert oder beschädigt.";
    case Problem::StraySignature: return subject + ": eine Signatur steht ohne die zugehörigen Daten im Download.";
    }
    return subject + " ist fehlerhaft.";
}

struct PartCheck {
    bool signedAtAll = false;
    bool anchored = true;
    bool onlyMissing = true;  // every problem so far is a missing certificate
    std::vector<std::string> problems;
    std::vector<std::string> sentences;
    std::vector<std::string> notes;

    // The technical text names the file and the detail; the sentence says it in German.
    void add(Problem problem, std::uint16_t fid, bool gen2, const std::string& detail) {
        problems.push_back(fileName(fid, gen2) + ": " + detail);
        sentences.push_back(germanSentence(problem, germanSubject(fid, gen2)));
        onlyMissing = onlyMissing && problem == Problem::Missing;
    }
};

const TlvRecord* firstRecord(const std::vector<TlvRecord>& records, std::uint16_t fid, std::uint8_t appendix) {
    for (const TlvRecord& r : records) {
        if (r.fid == fid && r.appendix == appendix) return &r;
    }
    return nullptr;
}

const RsaPublicKey* findKey(const std::vector<RsaPublicKey>& keys, const KeyId& id) {
    for (const RsaPublicKey& key : keys) {
        if (key.id == id) return &key;
    }
    return nullptr;
}

// Follows root → member state → card; the card's key, or nothing with the reason in `part`.
std::optional<RsaPublicKey> gen1CardKey(const std::vector<TlvRecord>& records, const TrustAnchors& anchors, PartCheck& part) {
    const TlvRecord* memberState = firstRecord(records, kFidCaCertificate, kAppendixGen1Data);
    const TlvRecord* card = firstRecord(records, kFidCardCertificate, kAppendixGen1Data);
    if (!memberState || !card) {
        if (!memberState) part.add(Problem::Missing, kFidCaCertificate, false, "missing");
        if (!card) part.add(Problem::Missing, kFidCardCertificate, false, "missing");
        return std::nullopt;
    }
    const std::string msName = fileName(kFidCaCertificate, false);
    const auto rootId = gen1CertificateAuthority(memberState->value);
    if (!rootId) {
        part.add(Problem::Malformed, kFidCaCertificate, false,
                 std::to_string(memberState->length) + " bytes, expected " + std::to_string(kGen1CertificateSize));
        return std::nullopt;
    }
    const RsaPublicKey* root = findKey(anchors.gen1Roots, *rootId);
    if (!root) {
        part.add(Problem::UntrustedRoot, kFidCaCertificate, false, "signed by unknown root key " + keyIdText(*rootId));
        return std::nullopt;
    }
    const Gen1CertificateCheck ms = openGen1Certificate(memberState->value, *root);
    if (!ms.certificate) {
        part.add(Problem::DoesNotVerify, kFidCaCertificate, false, ms.error);
        return std::nullopt;
    }
    part.notes.push_back(msName + ": " + keyIdText(ms.certificate->key.id) + ", " + validityText(ms.certificate->endOfValidity));

    const std::string cardName = fileName(kFidCardCertificate, false);
    const auto msId = gen1CertificateAuthority(card->value);
    if (!msId) {
        part.add(Problem::Malformed, kFidCardCertificate, false,
                 std::to_string(card->length) + " bytes, expected " + std::to_string(kGen1CertificateSize));
        return std::nullopt;
    }
    if (*msId != ms.certificate->key.id) {
        part.add(Problem::UnknownSigner, kFidCardCertificate, false,
                 "signed by unknown key " + keyIdText(*msId) + ", the member-state certificate holds " +
                     keyIdText(ms.certificate->key.id));
        return std::nullopt;
    }
    const Gen1CertificateCheck cardCheck = openGen1Certificate(card->value, ms.certificate->key);
    if (!cardCheck.certificate) {
        part.add(Problem::DoesNotVerify, kFidCardCertificate, false, cardCheck.error);
        return std::nullopt;
    }
    part.notes.push_back(cardName + ": " + keyIdText(cardCheck.certificate->key.id) + ", " +
                         validityText(cardCheck.certificate->endOfValidity));
    return cardCheck.certificate->key;
}

// Every data record of the part is followed by its signature, and every signature record
// follows the data it signs. Signatures are checked only with a verified card key.
template <typename Verify>
void checkFileSignatures(const std::vector<TlvRecord>& records, std::uint8_t dataAppendix, bool gen2, Verify verify,
                         PartCheck& part) {
    const std::uint8_t signatureAppendix = dataAppendix + 1;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const TlvRecord& r = records[i];
        const bool signedFile = i > 0 && records[i - 1].fid == r.fid && records[i - 1].appendix == dataAppendix;
        if (r.appendix == signatureAppendix && !signedFile) {
            part.add(Problem::StraySignature, r.fid, gen2, "signature record without its file");
            continue;
        }
        if (r.appendix != dataAppendix || !needsSignature(r.fid)) continue;
        const bool hasSignature = i + 1 < records.size() && records[i + 1].fid == r.fid &&
                                  records[i + 1].appendix == signatureAppendix;
        if (!hasSignature) {
            part.add(Problem::NotSigned, r.fid, gen2, "not signed");
            continue;
        }
        if (auto why = verify(r.value, records[i + 1].value); !why.empty()) {
            part.add(Problem::SignatureMismatch, r.fid, gen2, why);
        }
    }
}

bool holdsSignatures(const std::vector<TlvRecord>& records, std::uint8_t dataAppendix) {
    for (const TlvRecord& r : records) {
        if (r.appendix == dataAppendix + 1 || (r.appendix == dataAppendix && isCertificate(r.fid))) return true;
    }
    return false;
}

PartCheck checkGen1(const std::vector<TlvRecord>& records, const TrustAnchors& anchors) {
    PartCheck part;
    part.signedAtAll = holdsSignatures(records, kAppendixGen1Data);
    if (!part.signedAtAll) return part;
    const std::optional<RsaPublicKey> cardKey = gen1CardKey(records, anchors, part);
    if (!cardKey) return part;
    checkFileSignatures(records, kAppendixGen1Data, false,
                        [&](Bytes data, Bytes signature) -> std::string {
                            if (signature.size() != kGen1SignatureSize) {
                                return "signature has " + std::to_string(signature.size()) + " bytes, expected " +
                                       std::to_string(kGen1SignatureSize);
                            }
                            return verifyGen1Signature(data, signature, *cardKey) ? "" : "signature does not match the file";
                        },
                        part);
    return part;
}

std::string periodText(const Gen2Certificate& c) {
    return keyIdText(c.holder) + ", valid from " + formatDate(c.effectiveDate) + " until " + formatDate(c.expirationDate);
}

// A second-generation certificate of the download, parsed; a problem when missing or malformed.
std::optional<Gen2Certificate> gen2Certificate(const std::vector<TlvRecord>& records, std::uint16_t fid, PartCheck& part) {
    const TlvRecord* record = firstRecord(records, fid, kAppendixGen2Data);
    if (!record) {
        part.add(Problem::Missing, fid, true, "missing");
        return std::nullopt;
    }
    Gen2CertificateParse parse = parseGen2Certificate(record->value);
    if (!parse.certificate) part.add(Problem::Malformed, fid, true, parse.error);
    return std::move(parse.certificate);
}

const Gen2Certificate* findRoot(const std::vector<Gen2Certificate>& roots, const KeyId& id) {
    for (const Gen2Certificate& root : roots) {
        if (root.holder == id) return &root;
    }
    return nullptr;
}

// Checks `certificate` (named by fid) against `signer`; false with a problem when it fails.
bool signedBy(const Gen2Certificate& certificate, std::uint16_t fid, const Gen2Certificate& signer, PartCheck& part) {
    if (certificate.authority != signer.holder) {
        part.add(Problem::UnknownSigner, fid, true,
                 "signed by unknown key " + keyIdText(certificate.authority) + ", the member-state certificate holds " +
                     keyIdText(signer.holder));
        return false;
    }
    if (!verifyGen2Certificate(certificate, signer)) {
        part.add(Problem::DoesNotVerify, fid, true, "signature does not verify with " + keyIdText(signer.holder));
        return false;
    }
    return true;
}

// Member state → a trusted root, directly or through the download's link certificate; a
// chain that reaches no trusted root leaves the part unanchored.
void anchorGen2(const Gen2Certificate& memberState, const std::vector<TlvRecord>& records, const TrustAnchors& anchors,
                PartCheck& part) {
    const std::string msName = fileName(kFidCaCertificate, true);
    KeyId rootId = memberState.authority;
    if (!findRoot(anchors.gen2Roots, rootId) && firstRecord(records, kFidLinkCertificate, kAppendixGen2Data)) {
        const Gen2CertificateParse link =
            parseGen2Certificate(firstRecord(records, kFidLinkCertificate, kAppendixGen2Data)->value);
        if (link.certificate && link.certificate->holder == memberState.authority) {
            if (!verifyGen2Certificate(memberState, *link.certificate)) {
                part.add(Problem::DoesNotVerify, kFidCaCertificate, true, "signature does not verify with the link certificate's key");
                return;
            }
            rootId = link.certificate->authority;
            const Gen2Certificate* root = findRoot(anchors.gen2Roots, rootId);
            if (root && !verifyGen2Certificate(*link.certificate, *root)) {
                part.add(Problem::DoesNotVerify, kFidLinkCertificate, true, "signature does not verify with " + keyIdText(rootId));
            }
            if (root) return;
        }
    }
    const Gen2Certificate* root = findRoot(anchors.gen2Roots, rootId);
    if (!root) {
        part.anchored = false;
        part.notes.push_back(msName + ": signed by root " + keyIdText(rootId) + ", which is not among the trusted roots");
        return;
    }
    if (!verifyGen2Certificate(memberState, *root)) {
        part.add(Problem::DoesNotVerify, kFidCaCertificate, true, "signature does not verify with " + keyIdText(rootId));
    }
}

PartCheck checkGen2(const std::vector<TlvRecord>& records, const TrustAnchors& anchors) {
    PartCheck part;
    part.signedAtAll = holdsSignatures(records, kAppendixGen2Data);
    if (!part.signedAtAll) return part;
    const auto memberState = gen2Certificate(records, kFidCaCertificate, part);
    const auto cardSign = gen2Certificate(records, kFidCardSignCertificate, part);
    const auto cardMa = gen2Certificate(records, kFidCardCertificate, part);
    if (!memberState) return part;
    part.notes.push_back(fileName(kFidCaCertificate, true) + ": " + periodText(*memberState));
    anchorGen2(*memberState, records, anchors, part);
    if (cardMa && signedBy(*cardMa, kFidCardCertificate, *memberState, part)) {
        part.notes.push_back(fileName(kFidCardCertificate, true) + ": " + periodText(*cardMa));
    }
    if (!cardSign || !signedBy(*cardSign, kFidCardSignCertificate, *memberState, part)) return part;
    part.notes.push_back(fileName(kFidCardSignCertificate, true) + ": " + periodText(*cardSign));
    const Gen2SignatureKey key(*cardSign);
    checkFileSignatures(records, kAppendixGen2Data, true,
                        [&](Bytes data, Bytes signature) -> std::string {
                            return key.verifies(data, signature) ? "" : "signature does not match the file";
                        },
                        part);
    return part;
}

}  // namespace

const char* authenticityText(Authenticity a) {
    switch (a) {
    case Authenticity::Valid: return "valid";
    case Authenticity::Invalid: return "invalid";
    case Authenticity::Unanchored: return "unanchored";
    case Authenticity::Unsigned: return "unsigned";
    case Authenticity::Uncheckable: return "uncheckable";
    }
    return "invalid";
}

AuthenticityCheck verifyCardDownload(Bytes data, const TrustAnchors& anchors) {
    AuthenticityCheck check;
    const Decoded<TlvIndex> index = splitTlv(data);
    if (!index) {
        check.status = Authenticity::Invalid;
        check.problems.push_back("container: " + index.error().message + " (offset " +
                                 std::to_string(index.error().offset) + ")");
        check.sentences.push_back("Der Aufbau des Downloads ist beschädigt; seine Signaturen lassen sich nicht prüfen.");
        return check;
    }
    const std::vector<TlvRecord>& records = index.value().records;
    const PartCheck parts[] = {checkGen1(records, anchors), checkGen2(records, anchors)};

    bool anySigned = false;
    bool anchored = true;
    bool onlyMissing = true;
    for (const PartCheck& part : parts) {
        anySigned = anySigned || part.signedAtAll;
        anchored = anchored && part.anchored;
        onlyMissing = onlyMissing && part.onlyMissing;
        check.problems.insert(check.problems.end(), part.problems.begin(), part.problems.end());
        check.sentences.insert(check.sentences.end(), part.sentences.begin(), part.sentences.end());
        check.notes.insert(check.notes.end(), part.notes.begin(), part.notes.end());
    }
    if (!check.problems.empty()) {
        // Without its certificates a download cannot be checked; that is not proof of tampering.
        check.status = onlyMissing ? Authenticity::Uncheckable : Authenticity::Invalid;
    } else if (!anySigned) {
        check.status = Authenticity::Unsigned;
    } else {
        check.status = anchored ? Authenticity::Valid : Authenticity::Unanchored;
    }
    return check;
}

}  // namespace ddd
