#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "tests/signature/test_pki_fixture.h"

namespace ddd {
namespace {

using gen::Fault;
using gen::Generation;
using enum gen::Generation;
using enum Authenticity;
using Change = std::function<void(gen::CardDescription&, TrustAnchors&)>;

Change inject(gen::Fault fault) {
    return [fault](gen::CardDescription& card, TrustAnchors&) { card.inject.push_back(fault); };
}
using testing::gen1Pki;
using testing::gen2Pki;
using testing::otherGen2MemberState;
using testing::otherMemberState;
using testing::testAnchors;

// 2010-01-01 00:00 UTC: a certificate that expired long before the download was checked.
constexpr std::uint32_t kExpiredIn2010 = 1262304000u;
// Valid from 2023-01-01 until 2035-01-01, as the test PKI's own certificates.
constexpr std::uint32_t kFrom = 1672531200u;
constexpr std::uint32_t kUntil = 2051222400u;

// A card of the given generation, signed by the test PKI of each generation it holds.
gen::CardDescription signedCard(Generation generation) {
    gen::CardDescription card = gen::randomCard(generation == Gen1 ? 7 : 9, 14, generation);
    if (generation != Gen2) card.gen1Signing = gen1Pki().card;
    if (generation != Gen1) card.gen2Signing = gen2Pki().card;
    return card;
}

const std::string kCardCert = "Card_Certificate (0xC100, first generation)";
const std::string kMsCert = "CA_Certificate (0xC108, first generation)";
const std::string kSignCert2 = "Card_Sign_Certificate (0xC101, second generation)";
const std::string kMaCert2 = "Card_Certificate (0xC100, second generation)";
const std::string kMsCert2 = "CA_Certificate (0xC108, second generation)";

// A member state certified by a newer root, which the download's link certificate ties to the
// trusted test root.
void underNewRootWithLink(gen::CardDescription& card, TrustAnchors&) {
    static const gen::EcTestKey newRoot = gen::makeEcTestKey("brainpoolP256r1", {0xFD, 'T', 'S', 'T', 0x02, 0xFF, 0xFF, 0x02});
    card.gen2Signing->memberStateCertificate = gen::gen2Certificate(gen2Pki().memberState, newRoot, kFrom, kUntil);
    card.gen2Signing->linkCertificate = gen::gen2Certificate(newRoot, gen2Pki().root, kFrom, kUntil);
}

TEST(CardDownload, IsJudgedAndEveryFailureNamed) {
    struct Case {
        const char* name;
        Generation generation;
        Change change;
        Authenticity expected;
        std::vector<std::string> problems;  // exact problem texts, in file order
        std::string note = "";              // a note that must be among the notes, if given
        // Keys are made afresh for each run: a signature made with another key lies above this
        // key's modulus about half of the time, which is refused one step earlier.
        bool eitherRefusal = false;
    };
    const Case cases[] = {
        Case{"valid", Gen1, [](auto&, auto&) {}, Valid, {}, kCardCert + ": 0012340D012601A1, valid until 01.01.2035"},
        Case{"unsigned", Gen1, [](auto& c, auto&) { c.gen1Signing.reset(); c.withoutSignatures = true; }, Unsigned, {}},
        Case{"one byte of a file changed", Gen1, inject(Fault::patchEf(0x050E, Gen1, 0, {0xAB})), Invalid,
             {"Card_Download (0x050E, first generation): signature does not match the file"}},
        Case{"signatures of two files swapped", Gen1, inject(Fault::swapSignature(0x0506, 0x0505, Gen1)), Invalid,
             {"Vehicles_Used (0x0505, first generation): signature does not match the file", "Places (0x0506, first generation): signature does not match the file"}},
        Case{"card certificate issued by another member state", Gen1,
             [](auto& c, auto&) { c.gen1Signing->cardCertificate = gen::gen1Certificate(gen1Pki().card.card, otherMemberState(), 2051222400u); },
             Invalid,
             {kCardCert + ": signed by unknown key 114F544801000001, the member-state certificate holds 0D54535401000001"}},
        Case{"card certificate of another member state naming this one", Gen1,
             [](auto& c, auto&) { c.gen1Signing->cardCertificate = gen::gen1Certificate(gen1Pki().card.card, otherMemberState(), 2051222400u, gen1Pki().memberState.id); },
             Invalid, {kCardCert + ": signature does not open with the signer's key"}, "", true},
        Case{"member-state certificate naming an unknown root", Gen1,
             [](auto& c, auto&) { c.gen1Signing->memberStateCertificate = gen::gen1Certificate(gen1Pki().memberState, gen1Pki().root, 2051222400u, {0xFD, 'X', 'X', 'X', 0, 0xFF, 0xFF, 0x09}); },
             Invalid, {kMsCert + ": signed by unknown root key FD58585800FFFF09"}},
        Case{"truncated card certificate", Gen1, inject(Fault::resizeEf(0xC100, Gen1, 100)), Invalid,
             {kCardCert + ": 100 bytes, expected 194"}},
        Case{"garbage signature in the member-state certificate", Gen1,
             inject(Fault::patchEf(0xC108, Gen1, 0, std::vector<std::uint8_t>(128, 0x5A))), Invalid,
             {kMsCert + ": signature does not open with the signer's key"}},
        Case{"changed public key in the card certificate", Gen1, inject(Fault::patchEf(0xC100, Gen1, 150, {0x00, 0x01})), Invalid,
             {kCardCert + ": recovered hash does not match the certificate content"}},
        Case{"signature value above the modulus", Gen1,
             inject(Fault::patchEf(0xC108, Gen1, 0, std::vector<std::uint8_t>(128, 0xFF))), Invalid,
             {kMsCert + ": signature is not a value below the signer's modulus"}},
        Case{"member-state certificate missing", Gen1, inject(Fault::omitEf(0xC108, Gen1)), Uncheckable, {kMsCert + ": missing"}},
        Case{"file without its signature", Gen1, inject(Fault::duplicateEf(0x0520, Gen1)), Invalid,
             {"Identification (0x0520, first generation): not signed"}},
        Case{"expired certificates still verify the data", Gen1,
             [](auto& c, auto&) { c.gen1Signing->memberStateCertificate = gen::gen1Certificate(gen1Pki().memberState, gen1Pki().root, kExpiredIn2010); c.gen1Signing->cardCertificate = gen::gen1Certificate(gen1Pki().card.card, gen1Pki().memberState, kExpiredIn2010); },
             Valid, {}, kCardCert + ": 0012340D012601A1, valid until 01.01.2010"},
        Case{"signed by the test root, which the program does not trust", Gen1, [](auto&, auto& a) { a = installedTrustAnchors(); },
             Invalid, {kMsCert + ": signed by unknown root key FD54535400FFFF01"}},
        Case{"valid", Gen2, [](auto&, auto&) {}, Valid, {},
             kSignCert2 + ": 0012340D022601A2, valid from 01.01.2023 until 01.01.2035"},
        Case{"both_generations_valid", Both, [](auto&, auto&) {}, Valid, {},
             kMsCert2 + ": 0D54535402000001, valid from 01.01.2023 until 01.01.2035"},
        Case{"no_trusted_root", Gen2, [](auto&, auto& a) { a.gen2Roots.clear(); }, Unanchored, {},
             kMsCert2 + ": signed by root FD54535402FFFF01, which is not among the trusted roots"},
        Case{"unsigned", Gen2, [](auto& c, auto&) { c.gen2Signing.reset(); c.withoutSignatures = true; }, Unsigned, {}},
        Case{"second_version_valid", Gen2, [](auto& c, auto&) { gen::addSecondVersionRecords(c, 40, 40); }, Valid, {}},
        Case{"second_version_crossing_changed", Gen2,
             [](auto& c, auto&) { gen::addSecondVersionRecords(c, 40, 40); c.inject.push_back(Fault::patchEf(0x0528, Gen2, 5, {0xAB})); },
             Invalid, {"Border_Crossings (0x0528, second generation): signature does not match the file"}},
        Case{"one_byte_of_a_file_changed", Gen2, inject(Fault::patchEf(0x050E, Gen2, 0, {0xAB})), Invalid,
             {"Card_Download (0x050E, second generation): signature does not match the file"}},
        Case{"second_generation_tampered_first_intact", Both, inject(Fault::patchEf(0x0520, Gen2, 3, {0xAB})), Invalid,
             {"Identification (0x0520, second generation): signature does not match the file"}},
        Case{"signatures_of_two_files_swapped", Gen2, inject(Fault::swapSignature(0x0502, 0x0503, Gen2)), Invalid,
             {"Events_Data (0x0502, second generation): signature does not match the file", "Faults_Data (0x0503, second generation): signature does not match the file"}},
        Case{"card_certificate_of_another_member_state", Gen2,
             [](auto& c, auto&) { c.gen2Signing->cardSignCertificate = gen::gen2Certificate(gen2Pki().card.cardSign, otherGen2MemberState(), kFrom, kUntil); },
             Invalid,
             {kSignCert2 + ": signed by unknown key 114F544802000001, the member-state certificate holds 0D54535402000001"}},
        Case{"certificate_naming_this_member_state_signed_by_another", Gen2,
             [](auto& c, auto&) { c.gen2Signing->cardMaCertificate = gen::gen2Certificate(gen2Pki().cardMa, otherGen2MemberState(), kFrom, kUntil, gen2Pki().memberState.id); },
             Invalid, {kMaCert2 + ": signature does not verify with 0D54535402000001"}},
        Case{"member_state_certificate_naming_an_unknown_key", Gen2,
             [](auto& c, auto&) { c.gen2Signing->memberStateCertificate = gen::gen2Certificate(gen2Pki().memberState, gen2Pki().root, kFrom, kUntil, {0xFD, 'X', 'X', 'X', 2, 0xFF, 0xFF, 9}); },
             Unanchored, {}, kMsCert2 + ": signed by root FD58585802FFFF09, which is not among the trusted roots"},
        Case{"truncated_signing_certificate", Gen2, inject(Fault::resizeEf(0xC101, Gen2, 100)), Invalid,
             {kSignCert2 + ": malformed data object where tag 7F21 was expected"}},
        Case{"garbage_member_state_certificate", Gen2,
             [](auto& c, auto&) { c.inject.push_back(Fault::patchEf(0xC108, Gen2, 0, std::vector<std::uint8_t>(40, 0x42))); },
             Invalid, {kMsCert2 + ": tag 42 where tag 7F21 was expected"}},
        Case{"forged_member_state_signature", Gen2,
             [](auto& c, auto&) { auto& ms = c.gen2Signing->memberStateCertificate; ms[ms.size() - 1] ^= 0x01; }, Invalid,
             {kMsCert2 + ": signature does not verify with FD54535402FFFF01"}},
        Case{"pseudo_random_certificates", Gen2, [](auto& c, auto&) { c.gen2Signing.reset(); }, Invalid,
             {kMsCert2 + ": tag 0C where tag 7F21 was expected", kSignCert2 + ": tag 49 where tag 7F21 was expected", kMaCert2 + ": tag D4 where tag 7F21 was expected"}},
        Case{"link_certificate_to_the_trusted_root", Gen2, underNewRootWithLink, Valid, {}},
        Case{"link_certificate_without_trusted_root", Gen2,
             [](auto& c, auto& a) { underNewRootWithLink(c, a); a.gen2Roots.clear(); }, Unanchored, {},
             kMsCert2 + ": signed by root FD54535402FFFF01, which is not among the trusted roots"},
        Case{"expired_certificates_still_verify", Gen2,
             [](auto& c, auto&) { c.gen2Signing->cardSignCertificate = gen::gen2Certificate(gen2Pki().card.cardSign, gen2Pki().memberState, 1262304000u, 1293840000u); },
             Valid, {}, kSignCert2 + ": 0012340D022601A2, valid from 01.01.2010 until 01.01.2011"},
    };
    for (const Case& c : cases) {
        gen::CardDescription card = signedCard(c.generation);
        TrustAnchors anchors = testAnchors();
        c.change(card, anchors);
        const AuthenticityCheck check = verifyCardDownload(gen::writeCardDownload(card), anchors);
        EXPECT_STREQ(authenticityText(check.status), authenticityText(c.expected)) << c.name;
        std::vector<std::string> problems = check.problems;
        for (std::string& p : problems) {
            if (c.eitherRefusal) p = std::regex_replace(p, std::regex("is not a value below the signer's modulus"), "does not open with the signer's key");
        }
        EXPECT_EQ(problems, c.problems) << c.name;
        EXPECT_EQ(check.sentences.size(), check.problems.size()) << c.name << ": each problem in words";
        if (!c.note.empty()) {
            EXPECT_NE(std::find(check.notes.begin(), check.notes.end(), c.note), check.notes.end()) << c.name << ": " << c.note;
        }
    }
}

TEST(CardDownload, BrokenContainerIsInvalidWithItsReason) {
    const AuthenticityCheck check = verifyCardDownload(std::vector<std::uint8_t>{0x05, 0x01, 0x04, 0x00, 0x0A}, testAnchors());
    EXPECT_EQ(check.status, Invalid);
    EXPECT_EQ(check.problems, std::vector<std::string>{"container: invalid appendix byte 0x04 for FID 0x0501 (not a card download?) (offset 2)"});
}

}  // namespace
}  // namespace ddd
