// Signatures of vehicle-unit downloads signed with the test PKI: a whole download verifies, one
// changed byte makes exactly its block invalid, and a chain without its root is reported as such.
#include <gtest/gtest.h>

#include "core/certificate.h"
#include "core/vu_signature.h"
#include "tools/generator/test_pki.h"
#include "tools/vu_generator/vu_generator.h"

namespace {

using namespace ddd;
using namespace ddd::gen;

struct SignedUnit {
    VuDescription description;
    TrustAnchors anchors;
};

SignedUnit signedUnit(VuLayout layout) {
    SignedUnit unit{fullVuDescription(layout), {}};
    if (layout == VuLayout::Gen1Fixed) {
        const Gen1TestPki pki = makeGen1TestPki();
        unit.description.gen1Signing = pki.card;
        unit.anchors.gen1Roots = {*parseGen1RootKey(rsaRootKeyFile(pki.root))};
    } else {
        const Gen2TestPki pki = makeGen2TestPki();
        unit.description.gen2Signing = pki.card;
        unit.anchors.gen2Roots = {*parseGen2Certificate(pki.rootCertificate).certificate};
    }
    return unit;
}

TEST(VuSignature, WholeTamperedUnanchoredAndUnsigned) {
    for (VuLayout layout : {VuLayout::Gen1Fixed, VuLayout::Gen2, VuLayout::Gen2v2}) {
        SCOPED_TRACE(static_cast<int>(layout));
        const SignedUnit unit = signedUnit(layout);
        std::vector<std::uint8_t> bytes = writeVuDownload(unit.description);
        const VuDownload vu = decodeVuDownload(bytes);
        ASSERT_TRUE(vu.complete) << vu.stopReason;
        const AuthenticityCheck valid = verifyVuDownload(bytes, vu, unit.anchors);
        EXPECT_EQ(valid.status, Authenticity::Valid) << (valid.problems.empty() ? "" : valid.problems.front());

        // Five bytes into the signed part lies record content in every block of the full unit.
        for (const VuBlock& block : vu.blocks) {
            std::vector<std::uint8_t> tampered = bytes;
            tampered[block.signedBegin + 5] ^= 0x01;
            const VuDownload changed = decodeVuDownload(tampered);
            const AuthenticityCheck check = verifyVuDownload(tampered, changed, unit.anchors);
            EXPECT_EQ(check.status, Authenticity::Invalid);
            ASSERT_EQ(check.problems.size(), 1u) << vuBlockName(block);
            EXPECT_NE(check.problems[0].find(vuBlockName(block) + " at offset " + std::to_string(block.offset)), std::string::npos)
                << check.problems[0];
            EXPECT_NE(check.sentences[0].find("verändert"), std::string::npos);
        }

        const AuthenticityCheck rootless = verifyVuDownload(bytes, vu, TrustAnchors{});
        EXPECT_EQ(rootless.status, layout == VuLayout::Gen1Fixed ? Authenticity::Invalid : Authenticity::Unanchored);

        const auto cut = Bytes(bytes).first(vu.blocks.back().end - 1);
        EXPECT_EQ(verifyVuDownload(cut, decodeVuDownload(cut), unit.anchors).status, Authenticity::Invalid);

        VuDescription plain = unit.description;
        plain.gen1Signing.reset();
        plain.gen2Signing.reset();
        const auto unsignedBytes = writeVuDownload(plain);
        EXPECT_EQ(verifyVuDownload(unsignedBytes, decodeVuDownload(unsignedBytes), unit.anchors).status, Authenticity::Unsigned);
    }
}

}  // namespace
