#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/archive_sync.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> download(std::uint64_t seed) {
    return gen::writeCardDownload(gen::randomCard(seed, 7, gen::Generation::Gen2));
}

std::vector<std::uint8_t> bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Expected { bool ok; std::int64_t copied; std::int64_t skipped; };

void expectResult(const SyncResult& result, const Expected& expected, const std::string& name) {
    EXPECT_EQ(result.ok, expected.ok) << name;
    EXPECT_EQ(result.copied, expected.copied) << name;
    EXPECT_EQ(result.skipped, expected.skipped) << name;
}

TEST(ArchiveSync, SourceTrees) {
    struct Case {
        const char* name;
        std::vector<std::string> sourceFiles;
        std::vector<std::string> archiveFiles;
        Expected result;
        std::vector<std::string> archiveAfter;
    };
    const Case cases[] = {
        {"flat copy", {"a.ddd", "b.ddd"}, {}, {true, 2, 0}, {"a.ddd", "b.ddd"}},
        {"sub-folders are flattened", {"x/a.ddd", "x/y/z/b.ddd"}, {}, {true, 2, 0}, {"a.ddd", "b.ddd"}},
        {"any letter case of the extension", {"x.Ddd", "y.DDD"}, {}, {true, 2, 0}, {"x.Ddd", "y.DDD"}},
        {"other extensions are not considered", {"x.ddd.bak", "x.tgz", "ddd", "a.dd", ".a.ddd.sync-Xy12Ab"}, {}, {true, 0, 0}, {}},
        {"same name in two sub-folders", {"one/A.DDD", "two/A.DDD"}, {}, {true, 1, 1}, {"A.DDD"}},
        {"a name the archive has is skipped", {"a.ddd", "b.ddd"}, {"a.ddd"}, {true, 1, 1}, {"a.ddd", "b.ddd"}},
        {"names compare exactly", {"a.ddd"}, {"A.ddd"}, {true, 1, 0}, {"A.ddd", "a.ddd"}},
        {"empty source", {}, {}, {true, 0, 0}, {}},
    };
    for (const auto& c : cases) {
        test::TempFolder source, archive;
        std::uint64_t seed = 1;
        for (const auto& file : c.sourceFiles) source.write(file, download(seed++));
        for (const auto& file : c.archiveFiles) archive.write(file, {0x01});
        expectResult(syncDddArchive(source.path().string(), archive.path().string()), c.result, c.name);
        EXPECT_EQ(namesIn(archive.path()), c.archiveAfter) << c.name;
    }
}

TEST(ArchiveSync, CopiesAreExactAndNothingIsOverwritten) {
    test::TempFolder source, archive;
    const auto original = download(7);
    source.write("deep/er/k.ddd", original);
    archive.write("old.ddd", {0xAA, 0xBB});
    source.write("old.ddd", download(8));

    expectResult(syncDddArchive(source.path().string(), archive.path().string()), {true, 1, 1}, "first run");
    EXPECT_EQ(bytesOf(archive.path() / "k.ddd"), original);
    EXPECT_EQ(bytesOf(archive.path() / "old.ddd"), (std::vector<std::uint8_t>{0xAA, 0xBB}));

    expectResult(syncDddArchive(source.path().string(), archive.path().string()), {true, 0, 2}, "second run");
    EXPECT_EQ(namesIn(archive.path()), (std::vector<std::string>{"k.ddd", "old.ddd"}));
}

TEST(ArchiveSync, AnythingAtTheDestinationCountsAsPresent) {
    test::TempFolder source, archive;
    source.write("a.ddd", download(1));
    source.write("b.ddd", download(2));
    fs::create_directory(archive.path() / "a.ddd");
    fs::create_symlink("/nonexistent/target", archive.path() / "b.ddd");
    expectResult(syncDddArchive(source.path().string(), archive.path().string()), {true, 0, 2}, "folder and dangling link");
}

TEST(ArchiveSync, FoldersThatNest) {
    {
        test::TempFolder source;
        source.write("in/a.ddd", download(1));
        source.write("archiv/old.ddd", download(2));
        const fs::path archive = source.path() / "archiv";
        // The archive inside the source: the file it already had is met by the walk and skipped,
        // the copy made by this run is not counted again.
        expectResult(syncDddArchive(source.path().string(), archive.string()), {true, 1, 1}, "archive inside the source");
        EXPECT_EQ(namesIn(archive), (std::vector<std::string>{"a.ddd", "old.ddd"}));
    }
    {
        test::TempFolder archive;
        archive.write("neu/a.ddd", download(1));
        const fs::path source = archive.path() / "neu";
        expectResult(syncDddArchive(source.string(), archive.path().string()), {true, 1, 0}, "source inside the archive");
        expectResult(syncDddArchive(source.string(), archive.path().string()), {true, 0, 1}, "source inside the archive, again");
    }
    {
        test::TempFolder folder;
        folder.write("a.ddd", download(1));
        expectResult(syncDddArchive(folder.path().string(), folder.path().string()), {true, 0, 1}, "source is the archive");
    }
}

TEST(ArchiveSync, LinksAndUnreadableFiles) {
    test::TempFolder source, archive, elsewhere;
    source.write("sub/a.ddd", download(1));
    const auto linked = elsewhere.write("real.bin", download(2));
    fs::create_symlink(linked, source.path() / "linked.ddd");
    fs::create_directory_symlink(source.path(), source.path() / "sub" / "loop");
    fs::create_symlink(source.path() / "missing.ddd", source.path() / "dangling.ddd");
    // Reading this file fails even for root, so it stands for a download that cannot be read.
    fs::create_symlink("/proc/self/mem", source.path() / "unreadable.ddd");

    expectResult(syncDddArchive(source.path().string(), archive.path().string()), {false, 2, 0}, "links");
    EXPECT_EQ(namesIn(archive.path()), (std::vector<std::string>{"a.ddd", "linked.ddd"}));
    EXPECT_EQ(bytesOf(archive.path() / "linked.ddd"), download(2));
}

TEST(ArchiveSync, RefusedFolders) {
    test::TempFolder source, archive;
    source.write("a.ddd", download(1));
    struct Case { const char* name; std::string source; std::string target; };
    const Case cases[] = {
        {"empty source", "", archive.path().string()},
        {"empty target (dialog cancelled)", source.path().string(), ""},
        {"source missing", (source.path() / "nope").string(), archive.path().string()},
    };
    for (const auto& c : cases) expectResult(syncDddArchive(c.source, c.target), {false, 0, 0}, c.name);
    // A missing archive folder: nothing can be copied, and that is a failure of every copy.
    expectResult(syncDddArchive(source.path().string(), (archive.path() / "nope").string()), {false, 0, 0}, "archive missing");
    EXPECT_TRUE(namesIn(archive.path()).empty());
}

}  // namespace
}  // namespace ddd::app
