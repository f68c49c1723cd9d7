#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/atomic_file.h"

namespace ddd {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ddd_atomic_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder_);
    }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {})); }

    fs::path folder_;
};

TEST_F(AtomicFile, WritesAndReplacesWholeContent) {
    ASSERT_TRUE(writeFileAtomically(path("a.txt"), "first version, longer"));
    ASSERT_TRUE(writeFileAtomically(path("a.txt"), "second"));
    EXPECT_EQ(read("a.txt"), "second");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFile, AbandonedWriteLeavesTargetAndNoTemporary) {
    ASSERT_TRUE(writeFileAtomically(path("a.txt"), "kept"));
    {
        PendingFile pending(path("a.txt"));
        ASSERT_TRUE(pending.isOpen());
        ASSERT_TRUE(pending.write("never committed"));
        EXPECT_TRUE(fs::exists(pending.temporaryPath()));
    }
    EXPECT_EQ(read("a.txt"), "kept");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFile, MissingFolderFails) {
    EXPECT_FALSE(writeFileAtomically(path("missing/a.txt"), "x"));
    EXPECT_FALSE(fs::exists(path("missing")));
}

TEST_F(AtomicFile, ReadOnlyFolderFailsWithoutTrace) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    EXPECT_FALSE(writeFileAtomically(path("a.txt"), "x"));
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(entries(), 0u);
}

TEST_F(AtomicFile, FolderAsTargetFails) {
    fs::create_directory(path("sub"));
    EXPECT_FALSE(writeFileAtomically(path("sub"), "x"));
    EXPECT_FALSE(writeFileAtomically(folder_.string() + "/", "x"));
    EXPECT_TRUE(fs::is_directory(path("sub")));
    EXPECT_EQ(entries(), 1u);
}

// A file-size limit makes the disk "full" after a few bytes without filling a real disk.
TEST_F(AtomicFile, FullDiskKeepsOldContentAndLeavesNoTemporary) {
    ASSERT_TRUE(writeFileAtomically(path("a.txt"), "old"));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = writeFileAtomically(path("a.txt"), std::string(4096, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(read("a.txt"), "old");
    EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace ddd
