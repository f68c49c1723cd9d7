#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "app/diagnostic.h"
#include "core/atomic_file.h"
#include "tests/support/temp_folder.h"
#include "tests/signature/test_pki_fixture.h"

namespace ddd::app {
namespace {

using test::contains;

// Stands in for the window layer: writes the HTML it is given, or fails like a renderer.
struct FakeRenderer {
    bool succeed = true;
    std::string html;
    bool operator()(const std::string& page, const std::string& outPath, std::string& error, double timeout) {
        html = page;
        EXPECT_EQ(timeout, 30);
        if (!succeed) {
            error = "PDF render timed out";
            return false;
        }
        return writeFileAtomically(outPath, "%PDF-1.4 fake");
    }
};

class Diagnostic : public ::testing::Test {
protected:
    std::string folderTemplate() const { return folder_.file("ddd_diag.XXXXXX"); }
    int run(const std::string& file, FakeRenderer& renderer, std::string& log) {
        ::testing::internal::CaptureStderr();
        const int code = runDiagnostic(file, std::ref(renderer), folderTemplate());
        log = ::testing::internal::GetCapturedStderr();
        return code;
    }
    test::TempFolder folder_;
};

TEST_F(Diagnostic, ValidDownloadWritesBothAndCleansUp) {
    const std::string card = folder_.writeCard("card.ddd", gen::randomCard(2, 30, gen::Generation::Gen2));
    FakeRenderer renderer;
    std::string log;
    EXPECT_EQ(run(card, renderer, log), 0);
    EXPECT_TRUE(std::regex_search(log, std::regex("^DIAG: diag: writing into .*/ddd_diag\\.[A-Za-z0-9]{6}\n"
                                                  "DIAG: diag authenticity: [^\\n]+\n"
                                                  "DIAG: diag CSV: ok=1 written=[1-9] err=\n"
                                                  "DIAG: diag berichtPdf: ok=1 err=\n$")))
        << log;
    EXPECT_TRUE(contains(renderer.html, "VELMORANT DDD"));
    EXPECT_EQ(folder_.entries().size(), 1u);
}

// The log says whether the data is what the card signed, naming what fails. No trusted root of
// the user's own is installed here.
TEST_F(Diagnostic, LogsTheAuthenticityOfTheDownload) {
    setenv("XDG_DATA_HOME", folder_.file("no-roots").c_str(), 1);
    struct Case {
        const char* name;
        gen::Generation generation;
        bool sign;
        const char* line;
    };
    const Case cases[] = {
        {"unsigned", gen::Generation::Gen1, false, "DIAG: diag authenticity: unsigned\n"},
        {"second generation, test root unknown", gen::Generation::Gen2, true, "DIAG: diag authenticity: unanchored\n"},
        {"first generation, test root unknown", gen::Generation::Gen1, true,
         "DIAG: diag authenticity: invalid; CA_Certificate (0xC108, first generation): signed by unknown root key "},
    };
    for (const Case& c : cases) {
        gen::CardDescription card = gen::randomCard(6, 5, c.generation);
        card.withoutSignatures = !c.sign;
        if (c.sign && c.generation == gen::Generation::Gen1) card.gen1Signing = ddd::testing::gen1Pki().card;
        if (c.sign && c.generation == gen::Generation::Gen2) card.gen2Signing = ddd::testing::gen2Pki().card;
        FakeRenderer renderer;
        std::string log;
        run(folder_.writeCard(std::string(c.name) + ".ddd", card), renderer, log);
        EXPECT_TRUE(contains(log, c.line)) << c.name << "\n" << log;
    }
}

TEST_F(Diagnostic, FailuresExitOneAndStillCleanUp) {
    struct Case {
        const char* name;
        bool cardFile;
        bool renderSucceeds;
        const char* csvLine;
        const char* pdfLine;
    };
    const Case cases[] = {
        {"not a card download", false, true, "DIAG: diag CSV: ok=0 written=0 err=", "DIAG: diag berichtPdf: ok=0 err="},
        {"render fails", true, false, "DIAG: diag CSV: ok=1 written=", "DIAG: diag berichtPdf: ok=0 err=PDF render timed out\n"},
    };
    for (const Case& c : cases) {
        const std::string file = c.cardFile ? folder_.writeCard("in.ddd", gen::randomCard(4, 10, gen::Generation::Gen1))
                                            : folder_.writeText("in.ddd", std::string(200, '\x76')).string();
        FakeRenderer renderer{c.renderSucceeds, {}};
        std::string log;
        EXPECT_EQ(run(file, renderer, log), 1) << c.name;
        EXPECT_TRUE(contains(log, c.csvLine)) << c.name << "\n" << log;
        EXPECT_TRUE(contains(log, c.pdfLine)) << c.name << "\n" << log;
        EXPECT_EQ(folder_.entries().size(), 1u) << c.name;
    }
}

TEST_F(Diagnostic, UncreatableFolder) {
    FakeRenderer renderer;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runDiagnostic("x.ddd", std::ref(renderer), folder_.file("missing/ddd_diag.XXXXXX")), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "DIAG: diag: could not create private temp directory\n");
    EXPECT_TRUE(renderer.html.empty());
}

// The real program without any display: the CSV set is still written, the PDF step names the
// missing graphical session, and the private folder is gone afterwards.
TEST_F(Diagnostic, ProgramWithoutDisplay) {
    const std::string card = folder_.writeCard("card.ddd", gen::randomCard(9, 20, gen::Generation::Gen1));
    const std::string log = folder_.file("log.txt");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY '" + std::string(DDD_APP_PATH) + "' --diag '" + card +
                                "' 2>'" + log + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string text = test::readFile(log);
    EXPECT_TRUE(contains(text, "DIAG: diag CSV: ok=1 written=")) << text;
    EXPECT_TRUE(contains(text, "DIAG: diag berichtPdf: ok=0 err=PDF rendering needs a graphical session")) << text;
    std::smatch folder;
    ASSERT_TRUE(std::regex_search(text, folder, std::regex("writing into (\\S+)\n")));
    EXPECT_FALSE(std::filesystem::exists(folder[1].str()));
}

}  // namespace
}  // namespace ddd::app
