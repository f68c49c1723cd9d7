#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/signature/test_pki_fixture.h"

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
class Gen2Curve : public ::testing::TestWithParam<const char*> {};

TEST_P(Gen2Curve, ChainAndFileSignatureVerify) {
    const gen::Gen2TestPki pki = gen::makeGen2TestPki(GetParam());
    const Gen2Certificate root = parsedGen2(pki.rootCertificate);
    const Gen2Certificate memberState = parsedGen2(pki.card.memberStateCertificate);
    const Gen2Certificate cardSign = parsedGen2(pki.card.cardSignCertificate);
    EXPECT_EQ(root.curve, GetParam());
    EXPECT_TRUE(verifyGen2Certificate(root, root));
    EXPECT_TRUE(verifyGen2Certificate(memberState, root));
    EXPECT_TRUE(verifyGen2Certificate(cardSign, memberState));
    const std::vector<std::uint8_t> data{0x05, 0x20, 0x01};
    EXPECT_TRUE(verifyGen2Signature(data, gen::gen2Sign(pki.card.cardSign, data), cardSign));
    EXPECT_FALSE(verifyGen2Signature(data, gen::gen2Sign(pki.card.cardSign, data), memberState));
}

INSTANTIATE_TEST_SUITE_P(AllowedCurves, Gen2Curve,
                         ::testing::Values("brainpoolP256r1", "brainpoolP384r1", "brainpoolP512r1", "prime256v1",
                                           "secp384r1", "secp521r1"));

struct Malformed {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::string error;
};

void PrintTo(const Malformed& m, std::ostream* os) { *os << m.name; }

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

class MalformedGen2Certificate : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedGen2Certificate, IsRefusedWithAReason) {
    const Gen2CertificateParse parse = parseGen2Certificate(GetParam().bytes);
    EXPECT_FALSE(parse.certificate);
    EXPECT_EQ(parse.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, MalformedGen2Certificate,
    ::testing::Values(
        Malformed{"empty", {}, "malformed data object where tag 7F21 was expected"},
        Malformed{"header_only", cut(3), "malformed data object where tag 7F21 was expected"},
        Malformed{"truncated", cut(150), "malformed data object where tag 7F21 was expected"},
        Malformed{"trailing_byte", withTrailingByte(), "1 bytes after the certificate"},
        Malformed{"wrong_outer_tag", changed(1, 0x22), "tag 7F22 where tag 7F21 was expected"},
        Malformed{"long_length_form", changed(2, 0x84), "malformed data object where tag 7F21 was expected"},
        Malformed{"garbage", std::vector<std::uint8_t>(204, 0xA5), "malformed data object where tag 7F21 was expected"},
        Malformed{"unknown_curve", changed(kOidFirstByte + 8, 0x05), "curve is not one the tachograph system allows"},
        Malformed{"compressed_point", changed(kPointFirstByte, 0x02),
                  "public point is not an uncompressed point of brainpoolP256r1"}),
    [](const auto& info) { return std::string(info.param.name); });

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
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "ddd_trusted_roots";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    auto write = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<std::streamsize>(bytes.size()));
    };
    write("root.bin", gen2Pki().rootCertificate);
    write("member_state.bin", gen2Pki().card.memberStateCertificate);
    write("garbage.bin", std::vector<std::uint8_t>(300, 0x42));
    std::vector<std::uint8_t> forged = gen2Pki().rootCertificate;
    forged[forged.size() - 5] ^= 0x01;
    write("forged_root.bin", forged);

    const std::vector<Gen2Certificate> roots = readTrustedRoots(folder.string());
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(keyIdText(roots[0].holder), "FD54535402FFFF01");
    EXPECT_TRUE(readTrustedRoots((folder / "missing").string()).empty());
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace ddd
