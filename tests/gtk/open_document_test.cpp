// Files handed to the dashboard by the desktop, through real processes of the start-up with a
// probe page on the test's private session bus.
#include <gtest/gtest.h>

#include "app/gtk/app_startup.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace ddd::app {
namespace {

// A name with a blank, a double quote and a backslash, which must reach the page unchanged.
std::string awkwardFile(const test::TempFolder& folder) { return folder.write("Karten 2024/Fahrer \"M\\S\".ddd", {0x00}).string(); }

// Hands the file to a dashboard already running with no file, which receives it through openPath;
// a relative path is resolved in the folder of the start that handed it over.
TEST(OpenDocument, WarmFileGoesToTheRunningDashboardThroughOpenPath) {
    test::TempFolder folder;
    folder.write("a.ddd", {0x00});
    const std::string relative = std::filesystem::relative(folder.path() / "a.ddd").string();
    for (const std::string& file : {awkwardFile(folder), relative}) {
        test::ChildProcess dashboard({DDD_PROBE_PATH});
        ASSERT_TRUE(dashboard.waitForOutput("PAGE startup none")) << dashboard.output();
        // Started while openPath is not yet defined: the retry script waits for it.
        test::ChildProcess second({DDD_PROBE_PATH, file});
        EXPECT_EQ(second.waitForExit(), 0) << second.output();
        EXPECT_TRUE(test::contains(second.output(), "DIAG: handed to the running dashboard")) << second.output();
        EXPECT_TRUE(dashboard.waitForOutput("PAGE openPath " + std::filesystem::absolute(file).lexically_normal().string() + "\n"))
            << dashboard.output();
        EXPECT_EQ(dashboard.waitForExit(), 0) << dashboard.output();
        EXPECT_TRUE(test::contains(dashboard.output(), "DIAG: open-document event → warm (openPath live)")) << dashboard.output();
    }
}

TEST(OpenDocument, ColdFileArrivingBeforeTheWindowIsTheStartupFile) {
    test::TempFolder folder;
    const std::string file = awkwardFile(folder);
    // As the session bus starts an activatable application: no window until a request arrives.
    test::ChildProcess dashboard({DDD_PROBE_PATH, "--gapplication-service"});
    test::ChildProcess owned({"/usr/bin/gdbus", "wait", "--session", "--timeout", "20", kApplicationId});
    ASSERT_EQ(owned.waitForExit(), 0) << dashboard.output();

    test::ChildProcess second({DDD_PROBE_PATH, "--open", file});
    EXPECT_EQ(second.waitForExit(), 0) << second.output();
    EXPECT_TRUE(dashboard.waitForOutput("PAGE startup " + file + "\n")) << dashboard.output();
    EXPECT_EQ(dashboard.waitForExit(), 0) << dashboard.output();
    EXPECT_TRUE(test::contains(dashboard.output(), "DIAG: open-document event → cold (buffered for boot)")) << dashboard.output();
}

}  // namespace
}  // namespace ddd::app
