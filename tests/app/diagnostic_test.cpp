#include <gtest/gtest.h>

#include <regex>

#include "app/diagnostic.h"
#include "core/atomic_file.h"
#include "tests/app/bridge_test_host.h"

namespace ddd::app {
namespace {

using test::contains;

// Stands in for the window layer: writes the HTML it is given, or fails like a renderer.
struct FakeRenderer {
    bool succeed = true;
    bool operator()(const std::string&, const std::string& outPath, std::string& error, double) {
        if (!succeed) error = "PDF render timed out";
        return succeed && writeFileAtomically(outPath, "%PDF-1.4 fake");
    }
};

// The log of a diagnosis of the file, its exit code, and whether its private folder is gone.
struct Diagnosis { std::string log; int code; bool cleanedUp; };

Diagnosis diagnose(const test::TempFolder& folder, const std::string& file, FakeRenderer& renderer) {
    const std::size_t before = folder.entries().size();
    ::testing::internal::CaptureStderr();
    const int code = runDiagnostic(file, std::ref(renderer), folder.file("ddd_diag.XXXXXX"));
    return {::testing::internal::GetCapturedStderr(), code, folder.entries().size() == before};
}

// The whole log of a good download; a failed render exits with 1 and still cleans up.
TEST(Diagnostic, LogsEachStepAndCleansUp) {
    test::TempFolder folder;
    FakeRenderer renderer;
    const Diagnosis good = diagnose(folder, folder.writeCard("card.ddd", gen::randomCard(2, 30, gen::Generation::Gen2)), renderer);
    EXPECT_EQ(good.code, 0);
    EXPECT_TRUE(std::regex_search(good.log, std::regex("^DIAG: diag: writing into .*/ddd_diag\\.[A-Za-z0-9]{6}\n"
                                                       "DIAG: diag authenticity: [^\\n]+\n"
                                                       "DIAG: diag CSV: ok=1 written=[1-9] err=\n"
                                                       "DIAG: diag berichtPdf: ok=1 err=\n$")))
        << good.log;
    EXPECT_TRUE(good.cleanedUp);


    FakeRenderer failing{false};
    const Diagnosis run = diagnose(folder, folder.writeCard("in1.ddd", gen::randomCard(4, 10, gen::Generation::Gen1)), failing);
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(contains(run.log, "DIAG: diag CSV: ok=1 written=") && contains(run.log, "DIAG: diag berichtPdf: ok=0 err=PDF render timed out\n") &&
                run.cleanedUp) << run.log;
}

}  // namespace
}  // namespace ddd::app
