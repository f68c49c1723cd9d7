#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
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
    struct Case {
        const char* name;
        std::vector<std::string> sourceFiles, archiveFiles;
        const char* outcome;
        const char* archiveAfter;
        Change change = nullptr;
    };
    const Case cases[] = {
        {"flat copy", {"a.ddd", "b.ddd"}, {}, "ok 2 0", "a.ddd b.ddd"},
        {"sub-folders are flattened", {"x/a.ddd", "x/y/z/b.ddd"}, {}, "ok 2 0", "a.ddd b.ddd"},
        {"any letter case of the extension", {"x.Ddd", "y.DDD"}, {}, "ok 2 0", "x.Ddd y.DDD"},
        {"other extensions are not considered", {"x.ddd.bak", "x.tgz", "ddd", "a.dd", ".a.ddd.sync-Xy12Ab"}, {}, "ok 0 0", ""},
        {"same name in two sub-folders", {"one/A.DDD", "two/A.DDD"}, {}, "ok 1 1", "A.DDD"},
        {"a name the archive has is skipped", {"a.ddd", "b.ddd"}, {"a.ddd"}, "ok 1 1", "a.ddd b.ddd"},
        {"names compare exactly", {"a.ddd"}, {"A.ddd"}, "ok 1 0", "A.ddd a.ddd"},
        {"empty source", {}, {}, "ok 0 0", ""},
        {"a folder and a dangling link at the destination count as present", {"a.ddd", "b.ddd"}, {}, "ok 0 2", "a.ddd b.ddd",
         [](const fs::path&, const fs::path& archive) {
             fs::create_directory(archive / "a.ddd");
             fs::create_symlink("/nonexistent/target", archive / "b.ddd");
         }},
        // Reading /proc/self/mem fails even for root, so it stands for a download that cannot be read.
        {"links followed, loops, dangling and unreadable ones not", {"sub/a.ddd"}, {}, "failed 2 0", "a.ddd linked.ddd",
         [](const fs::path& source, const fs::path& archive) {
             fs::create_directories(archive.parent_path() / "elsewhere");
             std::ofstream(archive.parent_path() / "elsewhere/real.bin", std::ios::binary) << "linked";
             fs::create_symlink(archive.parent_path() / "elsewhere/real.bin", source / "linked.ddd");
             fs::create_directory_symlink(source, source / "sub" / "loop");
             fs::create_symlink(source / "missing.ddd", source / "dangling.ddd");
             fs::create_symlink("/proc/self/mem", source / "unreadable.ddd");
         }},
    };
    for (const auto& c : cases) {
        test::TempFolder folder;
        const fs::path source = folder.path() / "source", archive = folder.path() / "archive";
        fs::create_directories(source);
        fs::create_directories(archive);
        std::uint64_t seed = 1;
        for (const auto& file : c.sourceFiles) folder.write("source/" + file, download(seed++));
        for (const auto& file : c.archiveFiles) folder.write("archive/" + file, {0xAA, 0xBB});
        if (c.change) c.change(source, archive);
        EXPECT_EQ(outcome(syncDddArchive(source.string(), archive.string())), c.outcome) << c.name;
        EXPECT_EQ(namesIn(archive), c.archiveAfter) << c.name;
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
        {"source inside the archive, again", neu, root, "ok 0 1"},
        {"source is the archive", neu, neu, "ok 0 1"},
        {"empty source", "", archiv, "failed 0 0"},
        {"empty target (dialog cancelled)", root, "", "failed 0 0"},
        {"source missing", folder.file("nope"), archiv, "failed 0 0"},
        {"archive missing", neu, folder.file("nope"), "failed 0 0"},
    };
    for (const auto& [name, source, archive, expected] : cases) EXPECT_EQ(outcome(syncDddArchive(source, archive)), expected) << name;
    EXPECT_EQ(namesIn(archiv), "a.ddd b.ddd old.ddd");
}

}  // namespace
}  // namespace ddd::app
