#include <gtest/gtest.h>

#include <regex>

#include "app/diagnostic.h"
#include "core/atomic_file.h"
#include "tests/signature/test_pki_fixture.h"
#include "tests/app/bridge_test_host.h"

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
        if (!succeed) error = "PDF render timed out";
        return succeed && writeFileAtomically(outPath, "%PDF-1.4 fake");
    }
};

// The log of a diagnosis of the file, its exit code, and whether its private folder is gone.
struct Diagnosis {
    std::string log;
    int code;
    bool cleanedUp;
};

Diagnosis diagnose(const test::TempFolder& folder, const std::string& file, FakeRenderer& renderer, const std::string& folderTemplate = "ddd_diag.XXXXXX") {
    const std::size_t before = folder.entries().size();
    ::testing::internal::CaptureStderr();
    const int code = runDiagnostic(file, std::ref(renderer), folder.file(folderTemplate));
    return {::testing::internal::GetCapturedStderr(), code, folder.entries().size() == before};
}

// The whole log of a good download; the authenticity line names what fails, no trusted root of
// the user's own being installed; failures exit with 1 and still clean up.
TEST(Diagnostic, LogsEachStepAndCleansUp) {
    test::TempFolder folder;
    test::Environment env;
    env.set("XDG_DATA_HOME", folder.file("no-roots").c_str());
    FakeRenderer renderer;
    const Diagnosis good = diagnose(folder, folder.writeCard("card.ddd", gen::randomCard(2, 30, gen::Generation::Gen2)), renderer);
    EXPECT_EQ(good.code, 0);
    EXPECT_TRUE(std::regex_search(good.log, std::regex("^DIAG: diag: writing into .*/ddd_diag\\.[A-Za-z0-9]{6}\n"
                                                       "DIAG: diag authenticity: [^\\n]+\n"
                                                       "DIAG: diag CSV: ok=1 written=[1-9] err=\n"
                                                       "DIAG: diag berichtPdf: ok=1 err=\n$")))
        << good.log;
    EXPECT_TRUE(good.cleanedUp && contains(renderer.html, "VELMORANT DDD"));

    struct Case {
        const char* name;
        gen::Generation generation;
        bool sign;
        const char* line;
    };
    const Case signatures[] = {
        {"unsigned", gen::Generation::Gen1, false, "DIAG: diag authenticity: unsigned\n"},
        {"second generation, test root unknown", gen::Generation::Gen2, true, "DIAG: diag authenticity: unanchored\n"},
        {"first generation, test root unknown", gen::Generation::Gen1, true,
         "DIAG: diag authenticity: invalid; CA_Certificate (0xC108, first generation): signed by unknown root key "},
    };
    for (const Case& c : signatures) {
        gen::CardDescription card = gen::randomCard(6, 5, c.generation);
        card.withoutSignatures = !c.sign;
        if (c.sign && c.generation == gen::Generation::Gen1) card.gen1Signing = ddd::testing::gen1Pki().card;
        if (c.sign && c.generation == gen::Generation::Gen2) card.gen2Signing = ddd::testing::gen2Pki().card;
        EXPECT_TRUE(contains(diagnose(folder, folder.writeCard(std::string(c.name) + ".ddd", card), renderer).log, c.line)) << c.name;
    }

    const std::tuple<const char*, std::string, bool, const char*, const char*> failures[] = {
        {"not a card download", folder.writeText("in.ddd", std::string(200, '\x76')).string(), true, "DIAG: diag CSV: ok=0 written=0 err=",
         "DIAG: diag berichtPdf: ok=0 err="},
        {"render fails", folder.writeCard("in1.ddd", gen::randomCard(4, 10, gen::Generation::Gen1)), false, "DIAG: diag CSV: ok=1 written=",
         "DIAG: diag berichtPdf: ok=0 err=PDF render timed out\n"},
    };
    for (const auto& [name, file, renders, csvLine, pdfLine] : failures) {
        FakeRenderer failing{renders, {}};
        const Diagnosis run = diagnose(folder, file, failing);
        EXPECT_EQ(run.code, 1) << name;
        EXPECT_TRUE(contains(run.log, csvLine) && contains(run.log, pdfLine) && run.cleanedUp) << name << "\n" << run.log;
    }

    FakeRenderer untouched;
    const Diagnosis uncreatable = diagnose(folder, "x.ddd", untouched, "missing/ddd_diag.XXXXXX");
    EXPECT_EQ(uncreatable.code, 1);
    EXPECT_EQ(uncreatable.log, "DIAG: diag: could not create private temp directory\n");
    EXPECT_TRUE(untouched.html.empty());
}

}  // namespace
}  // namespace ddd::app
