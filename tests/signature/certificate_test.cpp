// Certificates on their own: what a whole download's check cannot provoke.
#include <gtest/gtest.h>

#include "tests/signature/test_pki_fixture.h"
#include "tests/support/temp_folder.h"

namespace ddd {
namespace {

using testing::gen1Pki;
using testing::gen2Pki;
using testing::parsedGen2;
using Bytes = std::vector<std::uint8_t>;

// The certificate with one byte changed, or cut or grown to a size.
Bytes changed(Bytes bytes, std::size_t at, std::uint8_t value) { return bytes[at] = value, bytes; }
Bytes resized(Bytes bytes, std::size_t size) { return bytes.resize(size), bytes; }

TEST(Gen1Certificate, RootKeysAndMalformedCertificates) {
    const TrustAnchors& anchors = installedTrustAnchors();
    ASSERT_EQ(anchors.gen1Roots.size(), 1u);
    EXPECT_EQ(keyIdText(anchors.gen1Roots[0].id), "FD45432000FFFF01") << "the European root";
    EXPECT_EQ(anchors.gen1Roots[0].exponent, (Bytes{0, 0, 0, 0, 0, 1, 0, 1}));
    const Bytes rootFile = gen::rsaRootKeyFile(gen1Pki().root);
    EXPECT_FALSE(parseGen1RootKey(resized(rootFile, 143)) || parseGen1RootKey(resized(rootFile, 145)));

    const RsaPublicKey root = *parseGen1RootKey(rootFile);
    const Bytes& certificate = gen1Pki().card.memberStateCertificate;
    const std::pair<Bytes, std::string> cases[] = {
        {{}, "certificate has 0 bytes, expected 194"},
        {resized(certificate, 195), "certificate has 195 bytes, expected 194"},
        {Bytes(194, 0), "signature does not open with the signer's key"},
        {changed(certificate, 190, certificate[190] ^ 0x01),
         "signed content names authority FD54535400FFFF01, the certificate FD54535401FFFF01"},
    };
    for (const auto& [bytes, error] : cases) {
        const Gen1CertificateCheck check = openGen1Certificate(bytes, root);
        EXPECT_FALSE(check.certificate) << error;
        EXPECT_EQ(check.error, error);
    }

    const RsaPublicKey card = *parseGen1RootKey(gen::rsaRootKeyFile(gen1Pki().card.card));
    const Bytes data{1, 2, 3}, signature = gen::gen1Sign(gen1Pki().card.card, data);
    EXPECT_TRUE(verifyGen1Signature(data, signature, card));
    EXPECT_FALSE(verifyGen1Signature(data, resized(signature, 127), card) || verifyGen1Signature(data, signature, root));
}

// The key size chooses the hash: certificates and file signatures on each allowed curve verify.
TEST(Gen2Certificate, ChainAndFileSignatureVerifyOnEveryAllowedCurve) {
    for (const char* curve : {"brainpoolP256r1", "brainpoolP384r1", "brainpoolP512r1", "prime256v1", "secp384r1", "secp521r1"}) {
        const gen::Gen2TestPki pki = gen::makeGen2TestPki(curve);
        const Gen2Certificate root = parsedGen2(pki.rootCertificate);
        const Gen2Certificate memberState = parsedGen2(pki.card.memberStateCertificate);
        const Gen2Certificate cardSign = parsedGen2(pki.card.cardSignCertificate);
        EXPECT_EQ(root.curve, curve);
        EXPECT_TRUE(verifyGen2Certificate(root, root) && verifyGen2Certificate(memberState, root)) << curve;
        EXPECT_TRUE(verifyGen2Certificate(cardSign, memberState) && !verifyGen2Certificate(cardSign, root)) << curve;
        const Bytes data{0x05, 0x20, 0x01};
        EXPECT_TRUE(verifyGen2Signature(data, gen::gen2Sign(pki.card.cardSign, data), cardSign)) << curve;
        EXPECT_FALSE(verifyGen2Signature(data, gen::gen2Sign(pki.card.cardSign, data), memberState)) << curve;
    }
}

TEST(Gen2Certificate, MalformedIsRefusedWithAReason) {
    // A generated brainpoolP256r1 certificate: 7F21 81 C9, 7F4E 81 82, 5F29 01 00, 42 08 CAR,
    // 5F4C 07 CHA, 7F49 4E { 06 09 OID, 86 41 point } ...
    const std::size_t oid = 4 + 4 + 4 + 10 + 10 + 3 + 2, point = oid + 9 + 2;
    const Bytes& certificate = gen2Pki().card.memberStateCertificate;
    const std::pair<Bytes, std::string> cases[] = {
        {{}, "malformed data object where tag 7F21 was expected"},
        {resized(certificate, 3), "malformed data object where tag 7F21 was expected"},
        {resized(certificate, certificate.size() + 1), "1 bytes after the certificate"},
        {changed(certificate, 1, 0x22), "tag 7F22 where tag 7F21 was expected"},
        {changed(certificate, 2, 0x84), "malformed data object where tag 7F21 was expected"},
        {changed(certificate, 2, 0x80), "malformed data object where tag 7F21 was expected"},  // indefinite length
        {changed(certificate, oid + 8, 0x05), "curve is not one the tachograph system allows"},
        {changed(certificate, point, 0x02), "public point is not an uncompressed point of brainpoolP256r1"},
    };
    for (const auto& [bytes, error] : cases) EXPECT_EQ(parseGen2Certificate(bytes).error, error);

    Gen2Certificate signer = parsedGen2(gen2Pki().card.cardSignCertificate);
    const Bytes data{1, 2, 3}, signature = gen::gen2Sign(gen2Pki().card.cardSign, data);
    EXPECT_TRUE(verifyGen2Signature(data, signature, signer));
    EXPECT_FALSE(verifyGen2Signature(data, resized(signature, 63), signer) || verifyGen2Signature(data, Bytes(64, 0), signer));
    signer.publicPoint[40] ^= 0x01;
    EXPECT_FALSE(verifyGen2Signature(data, signature, signer)) << "a point off the curve";
}

TEST(TrustedRoots, OnlySelfSignedRootsThatVerifyAreRead) {
    const test::TempFolder folder;
    folder.write("root.bin", gen2Pki().rootCertificate);
    folder.write("member_state.bin", gen2Pki().card.memberStateCertificate);
    folder.write("garbage.bin", Bytes(300, 0x42));
    const Bytes& root = gen2Pki().rootCertificate;
    folder.write("forged_root.bin", changed(root, root.size() - 5, root[root.size() - 5] ^ 0x01));
    const std::vector<Gen2Certificate> roots = readTrustedRoots(folder.path().string());
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(keyIdText(roots[0].holder), "FD54535402FFFF01");
    EXPECT_TRUE(readTrustedRoots(folder.file("missing")).empty());
}

}  // namespace
}  // namespace ddd
