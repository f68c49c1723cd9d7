#include <gtest/gtest.h>

#include "tests/signature/test_pki_fixture.h"

namespace ddd {
namespace {

using testing::gen1Pki;

RsaPublicKey testRoot() { return *parseGen1RootKey(gen::rsaRootKeyFile(gen1Pki().root)); }

TEST(Gen1RootKey, ShippedKeyIsTheEuropeanRoot) {
    const TrustAnchors& anchors = installedTrustAnchors();
    ASSERT_EQ(anchors.gen1Roots.size(), 1u);
    EXPECT_EQ(keyIdText(anchors.gen1Roots[0].id), "FD45432000FFFF01");
    const std::vector<std::uint8_t> exponent65537{0, 0, 0, 0, 0, 1, 0, 1};
    EXPECT_EQ(anchors.gen1Roots[0].exponent, exponent65537);
}

TEST(Gen1RootKey, OnlyTheExactSizeParses) {
    const std::vector<std::uint8_t> file = gen::rsaRootKeyFile(gen1Pki().root);
    EXPECT_TRUE(parseGen1RootKey(file));
    EXPECT_FALSE(parseGen1RootKey(std::span(file).first(143)));
    std::vector<std::uint8_t> longer = file;
    longer.push_back(0);
    EXPECT_FALSE(parseGen1RootKey(longer));
}

TEST(Gen1Certificate, OpensWithTheSignerKeyAndGivesTheContent) {
    const Gen1CertificateCheck check = openGen1Certificate(gen1Pki().card.memberStateCertificate, testRoot());
    ASSERT_TRUE(check.certificate) << check.error;
    EXPECT_EQ(keyIdText(check.certificate->authority), "FD54535400FFFF01");
    EXPECT_EQ(keyIdText(check.certificate->key.id), "0D54535401000001");
    EXPECT_EQ(check.certificate->endOfValidity, 2051222400u);
    const std::vector<std::uint8_t> memberStateKey = gen::rsaRootKeyFile(gen1Pki().memberState);
    EXPECT_EQ(check.certificate->key.modulus, std::vector<std::uint8_t>(memberStateKey.begin() + 8, memberStateKey.begin() + 136));
}

// What a whole download's check cannot provoke; the other failures are named there.
TEST(Gen1Certificate, MalformedIsRefusedWithAReason) {
    std::vector<std::uint8_t> overlong = gen1Pki().card.memberStateCertificate;
    overlong.push_back(0);
    std::vector<std::uint8_t> otherAuthority = gen1Pki().card.memberStateCertificate;
    otherAuthority[190] ^= 0x01;
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {{}, "certificate has 0 bytes, expected 194"},
        {overlong, "certificate has 195 bytes, expected 194"},
        {std::vector<std::uint8_t>(194, 0), "signature does not open with the signer's key"},
        {otherAuthority, "signed content names authority FD54535400FFFF01, the certificate FD54535401FFFF01"},
    };
    for (const auto& [bytes, error] : cases) {
        const Gen1CertificateCheck check = openGen1Certificate(bytes, testRoot());
        EXPECT_FALSE(check.certificate) << error;
        EXPECT_EQ(check.error, error);
    }
}

TEST(Gen1Signature, WrongSizeOrKeyDoesNotVerify) {
    const std::vector<std::uint8_t> data{1, 2, 3};
    const RsaPublicKey card = *parseGen1RootKey(gen::rsaRootKeyFile(gen1Pki().card.card));
    const std::vector<std::uint8_t> signature = gen::gen1Sign(gen1Pki().card.card, data);
    EXPECT_TRUE(verifyGen1Signature(data, signature, card));
    EXPECT_FALSE(verifyGen1Signature(data, std::span(signature).first(127), card));
    EXPECT_FALSE(verifyGen1Signature(data, signature, testRoot()));
    EXPECT_FALSE(verifyGen1Signature(std::vector<std::uint8_t>{1, 2, 4}, signature, card));
}

}  // namespace
}  // namespace ddd
