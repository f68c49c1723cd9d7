#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/archive_sync.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> download(std::uint64_t seed) { return gen::writeCardDownload(gen::randomCard(seed, 7, gen::Generation::Gen2)); }

std::string namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

std::string outcome(const SyncResult& r) { return (r.ok ? "ok " : "failed ") + std::to_string(r.copied) + " " + std::to_string(r.skipped); }

// Source files (each a different download) and files already in the archive, the outcome
// ("ok|failed copied skipped") and what the archive holds afterwards; some trees are changed
// further before the run.
TEST(ArchiveSync, SourceTrees) {
    using Change = std::function<void(const fs::path& source, const fs::path& archive)>;
    const std::tuple<std::vector<std::string>, std::vector<std::string>, const char*, const char*, Change> cases[] = {
        {{"x/a.ddd", "x/y/z/b.Ddd"}, {}, "ok 2 0", "a.ddd b.Ddd", nullptr},  // sub-folders are flattened
        {{"x.ddd.bak", "x.tgz", "ddd", "a.dd", ".a.ddd.sync-Xy12Ab"}, {}, "ok 0 0", "", nullptr},
        {{"one/A.DDD", "two/A.DDD"}, {}, "ok 1 1", "A.DDD", nullptr},
        {{"a.ddd", "b.ddd"}, {"a.ddd", "B.ddd"}, "ok 1 1", "B.ddd a.ddd b.ddd", nullptr},  // names compare exactly
        {{"a.ddd", "b.ddd"}, {}, "ok 0 2", "a.ddd b.ddd",  // a folder and a dangling link at the destination count as present
         [](const fs::path&, const fs::path& archive) {
             fs::create_directory(archive / "a.ddd");
             fs::create_symlink("/nonexistent/target", archive / "b.ddd");
         }},
        // Reading /proc/self/mem fails even for root, so it stands for a download that cannot be read.
        {{"sub/a.ddd"}, {}, "failed 2 0", "a.ddd linked.ddd",  // links followed, loops, dangling and unreadable ones not
         [](const fs::path& source, const fs::path& archive) {
             fs::create_directories(archive.parent_path() / "elsewhere");
             std::ofstream(archive.parent_path() / "elsewhere/real.bin", std::ios::binary) << "linked";
             fs::create_symlink(archive.parent_path() / "elsewhere/real.bin", source / "linked.ddd");
             fs::create_directory_symlink(source, source / "sub" / "loop");
             fs::create_symlink(source / "missing.ddd", source / "dangling.ddd");
             fs::create_symlink("/proc/self/mem", source / "unreadable.ddd");
         }},
    };
    for (const auto& [sourceFiles, archiveFiles, expected, archiveAfter, change] : cases) {
        test::TempFolder folder;
        const fs::path source = folder.path() / "source", archive = folder.path() / "archive";
        fs::create_directories(source);
        fs::create_directories(archive);
        std::uint64_t seed = 1;
        for (const auto& file : sourceFiles) folder.write("source/" + file, download(seed++));
        for (const auto& file : archiveFiles) folder.write("archive/" + file, {0xAA, 0xBB});
        if (change) change(source, archive);
        EXPECT_EQ(outcome(syncDddArchive(source.string(), archive.string())), expected) << archiveAfter;
        EXPECT_EQ(namesIn(archive), archiveAfter);
    }
}

// Copies are exact, through links too, and nothing in the archive is overwritten; a second run
// skips what the first copied.
TEST(ArchiveSync, CopiesAreExactAndNothingIsOverwritten) {
    test::TempFolder source, archive;
    const auto original = download(7);
    fs::create_symlink(source.write("deep/er/k.ddd", original), source.path() / "link.ddd");
    source.write("old.ddd", download(8));
    archive.write("old.ddd", {0xAA, 0xBB});
    EXPECT_EQ(outcome(syncDddArchive(source.path().string(), archive.path().string())), "ok 2 1");
    EXPECT_EQ(test::readFile(archive.file("k.ddd")), std::string(original.begin(), original.end()));
    EXPECT_EQ(test::readFile(archive.file("link.ddd")), test::readFile(archive.file("k.ddd")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(archive.file("link.ddd"))));
    EXPECT_EQ(test::readFile(archive.file("old.ddd")), "\xAA\xBB");
    EXPECT_EQ(outcome(syncDddArchive(source.path().string(), archive.path().string())), "ok 0 3");
}

// Nested folders: the walk meets the archive's own files (counted skipped when the archive was
// there before; this run's copies are not counted again). Refused folders copy nothing; a
// missing archive is a failure of every copy.
TEST(ArchiveSync, NestedAndRefusedFolders) {
    test::TempFolder folder;
    folder.write("a.ddd", download(1));
    folder.write("archiv/old.ddd", download(2));
    folder.write("neu/b.ddd", download(3));
    const std::string root = folder.path().string(), archiv = folder.file("archiv"), neu = folder.file("neu");
    const std::tuple<const char*, std::string, std::string, const char*> cases[] = {
        {"archive inside the source", root, archiv, "ok 2 1"},
        {"source inside the archive", neu, root, "ok 1 0"},
        {"empty target (dialog cancelled)", root, "", "failed 0 0"},
        {"archive missing", neu, folder.file("nope"), "failed 0 0"},
    };
    for (const auto& [name, source, archive, expected] : cases) EXPECT_EQ(outcome(syncDddArchive(source, archive)), expected) << name;
    EXPECT_EQ(namesIn(archiv), "a.ddd b.ddd old.ddd");
}

}  // namespace
}  // namespace ddd::app
