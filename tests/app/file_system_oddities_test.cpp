// What a folder tree can hold besides downloads (folders, pipes, devices, giant files, read
// errors, odd names, damaged copies, deep trees), run through every entry point that reads one:
// ddd-dump, the analysis, the finder's scan, the dashboard's open and the diagnostic mode.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "analysis/pipeline.h"
#include "app/diagnostic.h"
#include "core/atomic_file.h"
#include "core/folder_walk.h"
#include "core/json_writer.h"
#include "finder/driver_index.h"
#include "report/provenance_text.h"
#include "tests/app/bridge_test_host.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;
using test::contains;

struct Oddity {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* reason;  // part of the German reason every entry point gives
    bool isFolder;       // a folder is walked into, never skipped
};

const Oddity kOddities[] = {
    {"folder named like a download", [](const fs::path& p) { fs::create_directory(p); }, "ist ein Ordner", true},
    {"pipe", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "ist eine Pipe", false},
    {"link to a device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, "ist ein Gerät", false},
    {"larger than any download", [](const fs::path& p) { std::ofstream(p).close(), fs::resize_file(p, 300000000); },
     "ist zu groß (300 MB; ein Download ist höchstens 16 MB groß)", false},
    // Reading a process's own memory file at offset 0 fails with an I/O error, also for root.
    {"read error", [](const fs::path& p) { fs::create_symlink("/proc/self/mem", p); }, "Lesefehler", false},
};

int runDump(const std::string& path, std::string& output) {
    FILE* pipe = ::popen(("timeout 60 " DDD_DUMP_PATH " '" + path + "' 2>&1").c_str(), "r");
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    return WEXITSTATUS(::pclose(pipe));
}

bool renderNothing(const std::string&, const std::string& out, std::string&, double) {
    return writeFileAtomically(out, "%PDF");
}

bool noDiagnosticFolderLeft(const fs::path& folder) {
    const auto isDiagnostic = [](const fs::directory_entry& e) { return e.path().filename().string().starts_with("ddd_diag."); };
    return std::none_of(fs::directory_iterator(folder), fs::directory_iterator(), isDiagnostic);
}

class FileSystemOddities : public test::DashboardBridgeTest {
protected:
    void SetUp() override {
        test::DashboardBridgeTest::SetUp();
        card = folder.writeCard("tree/card.ddd", test::driverCard("Anna", "DF00000000000100", {{2024, 1, 10}}));
    }
    std::string card;
};

TEST_F(FileSystemOddities, EveryEntryPointNamesWhatItCannotRead) {
    for (const Oddity& oddity : kOddities) {
        SCOPED_TRACE(oddity.name);
        const fs::path odd = folder.path() / "tree" / "odd.ddd";
        oddity.make(odd);

        std::string dump;
        EXPECT_EQ(runDump(odd.string(), dump), 1);
        EXPECT_TRUE(contains(dump, oddity.reason)) << dump;

        const AnalysisResult alone = analyzeDriverOfFile(odd.string());
        EXPECT_FALSE(alone.ok);
        EXPECT_TRUE(contains(alone.error, oddity.reason)) << alone.error;
        const AnalysisResult beside = analyzeDriverOfFile(card);
        ASSERT_TRUE(beside.ok) << beside.error;
        ASSERT_EQ(beside.skippedFiles.size(), oddity.isFolder ? 0u : 1u);
        EXPECT_TRUE(oddity.isFolder || contains(beside.skippedFiles[0].reason, oddity.reason));

        finder::DriverIndex index;
        index.scanDirectory(folder.file("tree"), nullptr);
        EXPECT_EQ(index.filesIndexed, 1);
        EXPECT_TRUE(contains(finder::statsJson(index), oddity.isFolder ? "\"count\":0" : oddity.reason));

        const std::string answer = analyze(odd.string());
        EXPECT_TRUE(contains(answer, "Datei kann nicht geöffnet werden") && contains(answer, oddity.reason)) << answer;
        EXPECT_TRUE(host.finderLaunches.empty());
        EXPECT_TRUE(contains(analyze(card), "\"skipped\":{\"count\":" + std::string(oddity.isFolder ? "0" : "1")));

        ::testing::internal::CaptureStderr();
        EXPECT_EQ(runDiagnostic(odd.string(), renderNothing, folder.file("ddd_diag.1.XXXXXX")), 1);
        EXPECT_TRUE(contains(::testing::internal::GetCapturedStderr(), oddity.reason));
        EXPECT_TRUE(noDiagnosticFolderLeft(folder.path()));
        fs::remove_all(odd);
    }
}

// Names that are not UTF-8 reach the pages as valid UTF-8 with the bytes visible, and open; a
// line break in a name cannot forge a line of the manifest.
TEST_F(FileSystemOddities, OddNamesStayRecognisableAndCannotForgeLines) {
    const std::pair<const char*, const char*> names[] = {{"M\xFCller.ddd", "M\\xFCller.ddd"}, {"a\n  (2) forged.ddd", "a\\x0A  (2) forged.ddd"}};
    for (const auto& [name, visible] : names) {
        SCOPED_TRACE(visible);
        const std::string path = folder.writeCard(std::string("tree/") + name, test::driverCard("Anna", "DF00000000000100", {{2024, 1, 11}}));
        host.fileAnswer = path;
        const std::string answer = view.call("tachoOpenFile");
        EXPECT_EQ(visibleText(answer), answer);
        const std::string shown = firstStringArg("[" + answer + "]");
        EXPECT_TRUE(shown.ends_with(visible)) << shown;
        const std::string document = analyze(shown);
        EXPECT_TRUE(contains(document, "\"ok\":true")) << document;
        EXPECT_EQ(visibleText(document), document);

        const std::string manifest = report::provenanceTextOfFile(path, "", 0);
        EXPECT_TRUE(contains(manifest, visible)) << manifest;
        EXPECT_FALSE(contains(manifest, "\n  (2) forged"));
        fs::remove(path);
    }
}

// A tree deeper than the walk goes is cut and named; the diagnostic mode's folder follows TMPDIR,
// and one that a crashed run left behind is removed by the next run.
TEST_F(FileSystemOddities, DeepTreesAreCutAndDiagnosticFoldersCleared) {
    std::string deep = "tree";
    for (int level = 0; level < 3 * kMaxFolderDepth; ++level) deep += "/d";
    folder.writeCard(deep + "/lost.ddd", test::driverCard("Anna", "DF00000000000100", {{2024, 1, 13}}));
    const AnalysisResult result = analyzeDriverOfFile(card);
    ASSERT_TRUE(result.ok && result.skippedFiles.size() == 1u) << result.error;
    EXPECT_TRUE(contains(result.skippedFiles[0].reason, "zu tief verschachtelt")) << result.skippedFiles[0].reason;

    env.set("TMPDIR", folder.path().c_str());
    EXPECT_TRUE(diagnosticFolderTemplate().starts_with(folder.file("ddd_diag.")));
    const pid_t crashed = ::fork();
    if (crashed == 0) ::_exit(0);
    ::waitpid(crashed, nullptr, 0);
    fs::create_directories(folder.file("ddd_diag." + std::to_string(crashed) + ".abcdef/csv"));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runDiagnostic(card, renderNothing), 0);
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(noDiagnosticFolderLeft(folder.path()));
}

// Failures are told as what they are, with the reason and what was done.
TEST_F(FileSystemOddities, FailuresSayWhatWentWrong) {
    const std::string notAFolder = folder.writeText("plain", "x").string();
    host.folderAnswer = notAFolder;
    host.fileAnswer = card;
    view.call("tachoOpenFile");
    view.call("tachoOpenFile");
    const std::string csv = view.call("tachoExportCsv", "[\"\"]");
    EXPECT_TRUE(contains(csv, "CSV-Export fehlgeschlagen: ein Teil des Pfades ist kein Ordner")) << csv;

    env.set("XDG_CONFIG_HOME", (notAFolder + "/config").c_str());
    EXPECT_TRUE(contains(view.call("tachoSetAskEachTime", "[\"0\"]"), "\"saveError\":\"Einstellungen konnten nicht"));

    // A file-size limit makes the third, larger copy fail the way a full disk does.
    folder.writeText("source/a.ddd", "a");
    folder.writeText("source/b.ddd", "b");
    folder.writeText("source/c.ddd", std::string(8192, 'c'));
    fs::create_directory(folder.path() / "archive");
    host.folderAnswers = {folder.file("source"), folder.file("archive")};
    const std::string sync = [&] {
        test::FileSizeLimit limit(4096);
        return view.call("tachoSync");
    }();
    EXPECT_TRUE(contains(sync, "\"ok\":false,\"copied\":2,\"skipped\":0,\"failed\":1,\"error\":\"")) << sync;
    EXPECT_TRUE(contains(sync, "c.ddd: ")) << sync;

    host.folderAnswers = {folder.file("tree"), notAFolder};
    const auto all = view.callAsync("tachoExportAll");
    ASSERT_TRUE(all);
    EXPECT_TRUE(contains(all->result, "\"csv\":0,") && contains(all->result, "\"csvFail\":1,")) << all->result;
}

}  // namespace
}  // namespace ddd::app
