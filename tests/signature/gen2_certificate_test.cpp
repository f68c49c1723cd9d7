#include <gtest/gtest.h>

#include "tests/signature/test_pki_fixture.h"
#include "tests/support/temp_folder.h"

namespace ddd {
namespace {

using testing::gen2Pki;
using testing::parsedGen2;

TEST(Gen2Certificate, ParsesTheFieldsOfAGeneratedCertificate) {
    const Gen2CertificateParse parse = parseGen2Certificate(gen2Pki().card.cardSignCertificate);
    ASSERT_TRUE(parse.certificate) << parse.error;
    const Gen2Certificate& c = *parse.certificate;
    EXPECT_EQ(keyIdText(c.authority), "0D54535402000001");
    EXPECT_EQ(keyIdText(c.holder), "0012340D022601A2");
    EXPECT_EQ(c.curve, "brainpoolP256r1");
    EXPECT_EQ(c.publicPoint.size(), 65u);
    EXPECT_EQ(c.effectiveDate, 1672531200u);
    EXPECT_EQ(c.expirationDate, 2051222400u);
    EXPECT_EQ(c.signature.size(), 64u);
    EXPECT_TRUE(verifyGen2Certificate(c, parsedGen2(gen2Pki().card.memberStateCertificate)));
    EXPECT_FALSE(verifyGen2Certificate(c, parsedGen2(gen2Pki().rootCertificate)));
}

// The key size chooses the hash: certificates on each allowed curve verify.
TEST(Gen2Certificate, ChainAndFileSignatureVerifyOnEveryAllowedCurve) {
    for (const char* curve : {"brainpoolP256r1", "brainpoolP384r1", "brainpoolP512r1", "prime256v1", "secp384r1", "secp521r1"}) {
        const gen::Gen2TestPki pki = gen::makeGen2TestPki(curve);
        const Gen2Certificate root = parsedGen2(pki.rootCertificate);
        const Gen2Certificate memberState = parsedGen2(pki.card.memberStateCertificate);
        const Gen2Certificate cardSign = parsedGen2(pki.card.cardSignCertificate);
        EXPECT_EQ(root.curve, curve);
        EXPECT_TRUE(verifyGen2Certificate(root, root)) << curve;
        EXPECT_TRUE(verifyGen2Certificate(memberState, root)) << curve;
        EXPECT_TRUE(verifyGen2Certificate(cardSign, memberState)) << curve;
        const std::vector<std::uint8_t> data{0x05, 0x20, 0x01};
        EXPECT_TRUE(verifyGen2Signature(data, gen::gen2Sign(pki.card.cardSign, data), cardSign)) << curve;
        EXPECT_FALSE(verifyGen2Signature(data, gen::gen2Sign(pki.card.cardSign, data), memberState)) << curve;
    }
}

std::vector<std::uint8_t> cut(std::size_t size) {
    std::vector<std::uint8_t> bytes = gen2Pki().card.memberStateCertificate;
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> changed(std::size_t at, std::uint8_t value) {
    std::vector<std::uint8_t> bytes = gen2Pki().card.memberStateCertificate;
    bytes[at] = value;
    return bytes;
}

std::vector<std::uint8_t> withTrailingByte() {
    std::vector<std::uint8_t> bytes = gen2Pki().card.memberStateCertificate;
    bytes.push_back(0);
    return bytes;
}

// Layout of a generated brainpoolP256r1 certificate: 7F21 81 C9, 7F4E 81 82, 5F29 01 00,
// 42 08 CAR, 5F4C 07 CHA, 7F49 4E { 06 09 OID, 86 41 point } ...
constexpr std::size_t kOidFirstByte = 4 + 4 + 4 + 10 + 10 + 3 + 2;
constexpr std::size_t kPointFirstByte = kOidFirstByte + 9 + 2;

// What a whole download's check cannot provoke; the other failures are named there.
TEST(Gen2Certificate, MalformedIsRefusedWithAReason) {
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {{}, "malformed data object where tag 7F21 was expected"},
        {cut(3), "malformed data object where tag 7F21 was expected"},
        {withTrailingByte(), "1 bytes after the certificate"},
        {changed(1, 0x22), "tag 7F22 where tag 7F21 was expected"},
        {changed(2, 0x84), "malformed data object where tag 7F21 was expected"},
        {changed(kOidFirstByte + 8, 0x05), "curve is not one the tachograph system allows"},
        {changed(kPointFirstByte, 0x02), "public point is not an uncompressed point of brainpoolP256r1"},
    };
    for (const auto& [bytes, error] : cases) {
        const Gen2CertificateParse parse = parseGen2Certificate(bytes);
        EXPECT_FALSE(parse.certificate) << error;
        EXPECT_EQ(parse.error, error);
    }
}

TEST(Gen2Signature, PointOffTheCurveOrWrongSizeDoesNotVerify) {
    Gen2Certificate signer = parsedGen2(gen2Pki().card.cardSignCertificate);
    const std::vector<std::uint8_t> data{1, 2, 3};
    const std::vector<std::uint8_t> signature = gen::gen2Sign(gen2Pki().card.cardSign, data);
    EXPECT_TRUE(verifyGen2Signature(data, signature, signer));
    EXPECT_FALSE(verifyGen2Signature(data, std::span(signature).first(63), signer));
    EXPECT_FALSE(verifyGen2Signature(data, std::vector<std::uint8_t>(64, 0), signer));
    signer.publicPoint[40] ^= 0x01;
    EXPECT_FALSE(verifyGen2Signature(data, signature, signer));
}

TEST(TrustedRoots, OnlySelfSignedRootsThatVerifyAreRead) {
    const test::TempFolder folder;
    folder.write("root.bin", gen2Pki().rootCertificate);
    folder.write("member_state.bin", gen2Pki().card.memberStateCertificate);
    folder.write("garbage.bin", std::vector<std::uint8_t>(300, 0x42));
    std::vector<std::uint8_t> forged = gen2Pki().rootCertificate;
    forged[forged.size() - 5] ^= 0x01;
    folder.write("forged_root.bin", forged);

    const std::vector<Gen2Certificate> roots = readTrustedRoots(folder.path().string());
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(keyIdText(roots[0].holder), "FD54535402FFFF01");
    EXPECT_TRUE(readTrustedRoots(folder.file("missing")).empty());
}

}  // namespace
}  // namespace ddd
