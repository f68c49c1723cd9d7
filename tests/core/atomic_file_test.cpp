#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

#include "core/atomic_file.h"
#include "tests/support/temp_folder.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;

// Each failure, and a write abandoned before its commit, keeps what was there and leaves no
// temporary file. (Exports test a missing folder and a full disk.)
TEST(AtomicFile, FailuresLeaveTheFolderAsItWas) {
    struct Case { const char* name; std::function<bool(const test::TempFolder&)> write; };
    const Case cases[] = {
        {"folder as target", [](const auto& f) { return writeFileAtomically(f.file("sub"), "x"); }},
        {"folder path with a slash", [](const auto& f) { return writeFileAtomically(f.path().string() + "/", "x"); }},
        {"read-only folder",
         [](const auto& f) {
             fs::permissions(f.path(), fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
             const bool written = geteuid() != 0 && writeFileAtomically(f.file("a.txt"), "x");
             fs::permissions(f.path(), fs::perms::owner_all, fs::perm_options::add);
             return written;
         }},
        {"abandoned",
         [](const auto& f) {
             PendingFile pending(f.file("a.txt"));
             return !(pending.isOpen() && pending.write("never committed") && fs::exists(pending.temporaryPath()));
         }},
    };
    for (const Case& c : cases) {
        const test::TempFolder folder;
        ASSERT_TRUE(writeFileAtomically(folder.file("a.txt"), "first version, longer"));
        ASSERT_TRUE(writeFileAtomically(folder.file("a.txt"), "old"));
        fs::create_directory(folder.path() / "sub");
        EXPECT_FALSE(c.write(folder)) << c.name;
        EXPECT_EQ(test::readFile(folder.file("a.txt")), "old") << c.name;
        EXPECT_EQ(folder.entries().size(), 2u) << c.name;
    }
}

}  // namespace
}  // namespace ddd
