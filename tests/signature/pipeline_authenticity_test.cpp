#include <gtest/gtest.h>

#include "analysis/pipeline.h"
#include "tests/signature/test_pki_fixture.h"
#include "tests/support/temp_folder.h"

namespace ddd {
namespace {

// The analysis reports each download's check by file name and is not refused for a bad one.
TEST(AnalysedFolder, EveryDownloadCarriesItsCheck) {
    const test::TempFolder folder;
    gen::CardDescription unsignedCard = gen::randomCard(11, 10, gen::Generation::Gen1);
    unsignedCard.withoutSignatures = true;
    gen::CardDescription testSigned = gen::randomCard(11, 12, gen::Generation::Gen1);
    testSigned.gen1Signing = testing::gen1Pki().card;
    const std::string first = folder.writeCard("a_unsigned.ddd", unsignedCard);
    const std::string second = folder.writeCard("b_test_signed.ddd", testSigned);

    const AnalysisResult result = analyzeFiles({first, second});
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.authenticity.size(), 2u);
    ASSERT_TRUE(result.authenticity[0].check && result.authenticity[1].check);
    EXPECT_EQ(std::pair(result.authenticity[0].file, result.authenticity[0].check->status),
              std::pair(std::string("a_unsigned.ddd"), Authenticity::Unsigned));
    EXPECT_EQ(std::pair(result.authenticity[1].file, result.authenticity[1].check->status),
              std::pair(std::string("b_test_signed.ddd"), Authenticity::Invalid));

    EXPECT_EQ(analyzeDriverOfFile(second).authenticity.size(), 2u) << "the other download of the driver is checked too";
}

}  // namespace
}  // namespace ddd
