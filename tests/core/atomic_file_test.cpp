#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

#include "core/atomic_file.h"
#include "tests/support/temp_folder.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;

TEST(AtomicFile, WritesAndReplacesWholeContentAndAnAbandonedWriteLeavesNoTrace) {
    const test::TempFolder folder;
    ASSERT_TRUE(writeFileAtomically(folder.file("a.txt"), "first version, longer"));
    ASSERT_TRUE(writeFileAtomically(folder.file("a.txt"), "second"));
    {
        PendingFile pending(folder.file("a.txt"));
        ASSERT_TRUE(pending.isOpen());
        ASSERT_TRUE(pending.write("never committed"));
        EXPECT_TRUE(fs::exists(pending.temporaryPath()));
    }
    EXPECT_EQ(test::readFile(folder.file("a.txt")), "second");
    EXPECT_EQ(folder.entries().size(), 1u);
}

// Each failure keeps what was there and leaves no temporary file; a file-size limit stands in
// for a full disk.
TEST(AtomicFile, FailuresLeaveTheFolderAsItWas) {
    struct Case { const char* name; std::function<bool(const test::TempFolder&)> write; };
    const Case cases[] = {
        {"missing folder", [](const test::TempFolder& f) { return writeFileAtomically(f.file("missing/a.txt"), "x"); }},
        {"folder as target", [](const test::TempFolder& f) { return writeFileAtomically(f.file("sub"), "x"); }},
        {"folder path with a slash", [](const test::TempFolder& f) { return writeFileAtomically(f.path().string() + "/", "x"); }},
        {"read-only folder",
         [](const test::TempFolder& f) {
             fs::permissions(f.path(), fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
             const bool written = geteuid() != 0 && writeFileAtomically(f.file("a.txt"), "x");
             fs::permissions(f.path(), fs::perms::owner_all, fs::perm_options::add);
             return written;
         }},
        {"full disk",
         [](const test::TempFolder& f) {
             const test::FileSizeLimit full(16);
             return writeFileAtomically(f.file("a.txt"), std::string(4096, 'x'));
         }},
    };
    for (const Case& c : cases) {
        const test::TempFolder folder;
        folder.writeText("a.txt", "old");
        fs::create_directory(folder.path() / "sub");
        EXPECT_FALSE(c.write(folder)) << c.name;
        EXPECT_EQ(test::readFile(folder.file("a.txt")), "old") << c.name;
        EXPECT_EQ(folder.entries().size(), 2u) << c.name;
        EXPECT_TRUE(fs::is_directory(folder.path() / "sub")) << c.name;
    }
}

}  // namespace
}  // namespace ddd
