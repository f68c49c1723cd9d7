#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "analysis/pipeline.h"
#include "report/analysis_json.h"
#include "tests/signature/test_pki_fixture.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;
using gen::Generation;

class AnalysedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::path(::testing::TempDir()) / "ddd_authenticity_folder";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string write(const std::string& name, const gen::CardDescription& card) {
        const auto bytes = gen::writeCardDownload(card);
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    fs::path folder_;
};

// The analysis reports each download's check by file name and is not refused for a bad one.
TEST_F(AnalysedFolder, EveryDownloadCarriesItsCheck) {
    gen::CardDescription unsignedCard = gen::randomCard(11, 10, Generation::Gen1);
    unsignedCard.withoutSignatures = true;
    gen::CardDescription testSigned = gen::randomCard(11, 12, Generation::Gen1);
    testSigned.gen1Signing = testing::gen1Pki().card;
    const std::string first = write("a_unsigned.ddd", unsignedCard);
    const std::string second = write("b_test_signed.ddd", testSigned);

    const AnalysisResult result = analyzeFiles({first, second});
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.authenticity.size(), 2u);
    EXPECT_EQ(result.authenticity[0].file, "a_unsigned.ddd");
    ASSERT_TRUE(result.authenticity[0].check);
    EXPECT_EQ(result.authenticity[0].check->status, Authenticity::Unsigned);
    EXPECT_EQ(result.authenticity[1].file, "b_test_signed.ddd");
    ASSERT_TRUE(result.authenticity[1].check);
    EXPECT_EQ(result.authenticity[1].check->status, Authenticity::Invalid);

    const AnalysisResult opened = analyzeDriverOfFile(second);
    ASSERT_TRUE(opened.ok) << opened.error;
    ASSERT_EQ(opened.authenticity.size(), 2u);
    const std::string json = toAnalysisJson(opened);
    EXPECT_NE(json.find(R"("file":"b_test_signed.ddd","status":"invalid","problems":["CA_Certificate (0xC108, )"
                        R"(first generation): signed by unknown root key FD54535400FFFF01"])"),
              std::string::npos);
}

}  // namespace
}  // namespace ddd
