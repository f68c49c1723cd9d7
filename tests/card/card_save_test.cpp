// Saving a read card: a temporary directory that is missing or refuses the data leaves no
// folder and no short file behind, and an analysis that throws takes its folder with it.

#include "card/card_read_reply.h"
#include "card/card_temp_folder.h"
#include "tests/card/card_rig.h"
#include "tests/support/temp_folder.h"

#include <stdexcept>

namespace ddd::test {
namespace {

using gen::Generation;

const std::string kNotSaved = "Kartendaten konnten nicht gespeichert werden.";

TEST(CardSave, MissingTemporaryDirectorySavesNothing) {
    PrivateTempDir temp;
    ::setenv("TMPDIR", (temp.path() / "missing").c_str(), 1);
    const SavedCardDownload saved = saveCardDownload(gen::writeCardDownload(gen::randomCard(41, 10, Generation::Gen1)));
    EXPECT_EQ(saved.error, kNotSaved);
    EXPECT_TRUE(saved.folder.empty());
    EXPECT_TRUE(temp.entries().empty());
}

TEST(CardSave, RefusedWriteRemovesTheFolder) {
    PrivateTempDir temp;
    const std::vector<std::uint8_t> download = gen::writeCardDownload(gen::randomCard(42, 10, Generation::Gen1));
    SavedCardDownload saved;
    {
        test::FileSizeLimit limit(download.size() / 2);
        saved = saveCardDownload(download);
    }
    EXPECT_EQ(saved.error, kNotSaved);
    EXPECT_TRUE(saved.file.empty());
    EXPECT_TRUE(temp.entries().empty()) << testing::PrintToString(temp.entries());
}

struct ThrowingAnalysisCase {
    std::string name;
    std::function<std::string(const std::filesystem::path&)> analysis;
    std::string message;
};

void PrintTo(const ThrowingAnalysisCase& c, std::ostream* out) { *out << c.name; }

class ThrowingAnalysis : public testing::TestWithParam<ThrowingAnalysisCase> {};

TEST_P(ThrowingAnalysis, BecomesAMessageAndRemovesTheSavedFolder) {
    PrivateTempDir temp;
    CardStack stack(imageOf(gen::randomCard(43, 30, Generation::Gen1)));
    const CardReadReply reply = readCardReply(emu::VirtualReaderService::readerName(), GetParam().analysis);
    EXPECT_EQ(reply.json, "{\"ok\":false,\"error\":\"" + GetParam().message + "\"}");
    EXPECT_TRUE(reply.tempFolder.empty());
    EXPECT_TRUE(temp.entries().empty()) << testing::PrintToString(temp.entries());
}

INSTANTIATE_TEST_SUITE_P(
    Analyses, ThrowingAnalysis,
    testing::Values(
        ThrowingAnalysisCase{"StandardException",
                             [](const std::filesystem::path&) -> std::string { throw std::runtime_error("disk \"gone\""); },
                             "Kartenlesen fehlgeschlagen: disk \\\"gone\\\""},
        ThrowingAnalysisCase{"AnythingElse", [](const std::filesystem::path&) -> std::string { throw 42; },
                             "Kartenlesen fehlgeschlagen."}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace ddd::test
