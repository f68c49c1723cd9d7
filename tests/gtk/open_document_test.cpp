#include <gtest/gtest.h>

#include <gio/gio.h>

#include <thread>

#include "app/gtk/app_startup.h"
#include "tests/support/temp_folder.h"
#include "tests/support/process.h"

namespace ddd::app {
namespace {

bool dashboardOnBus(double seconds) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    bool owned = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!owned && std::chrono::steady_clock::now() < deadline) {
        GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                                                      g_variant_new("(s)", kApplicationId), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000,
                                                      nullptr, nullptr);
        if (reply) {
            gboolean has = FALSE;
            g_variant_get(reply, "(b)", &has);
            owned = has;
            g_variant_unref(reply);
        }
        if (!owned) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    g_object_unref(bus);
    return owned;
}

// A name with a blank, a double quote and a backslash, which must reach the page unchanged.
std::string awkwardFile(const test::TempFolder& folder) {
    return folder.write("Karten 2024/Fahrer \"M\\S\".ddd", {0x00}).string();
}

TEST(OpenDocument, WarmFileGoesToTheRunningDashboardThroughOpenPath) {
    test::TempFolder folder;
    const std::string file = awkwardFile(folder);
    test::ChildProcess dashboard({DDD_PROBE_PATH});
    ASSERT_TRUE(dashboard.waitForOutput("PAGE startup none")) << dashboard.output();

    // Started while openPath is not yet defined: the retry script waits for it.
    test::ChildProcess second({DDD_PROBE_PATH, file});
    EXPECT_EQ(second.waitForExit(), 0) << second.output();
    EXPECT_NE(second.output().find("DIAG: handed to the running dashboard"), std::string::npos) << second.output();

    EXPECT_TRUE(dashboard.waitForOutput("PAGE openPath " + file + "\n")) << dashboard.output();
    EXPECT_EQ(dashboard.waitForExit(), 0) << dashboard.output();
    EXPECT_NE(dashboard.output().find("DIAG: open-document event → warm (openPath live)"), std::string::npos) << dashboard.output();
}

TEST(OpenDocument, ColdFileArrivingBeforeTheWindowIsTheStartupFile) {
    test::TempFolder folder;
    const std::string file = awkwardFile(folder);
    // As the session bus starts an activatable application: no window until a request arrives.
    test::ChildProcess dashboard({DDD_PROBE_PATH, "--gapplication-service"});
    ASSERT_TRUE(dashboardOnBus(20)) << dashboard.output();

    test::ChildProcess second({DDD_PROBE_PATH, "--open", file});
    EXPECT_EQ(second.waitForExit(), 0) << second.output();

    EXPECT_TRUE(dashboard.waitForOutput("PAGE startup " + file + "\n")) << dashboard.output();
    EXPECT_EQ(dashboard.waitForExit(), 0) << dashboard.output();
    EXPECT_NE(dashboard.output().find("DIAG: open-document event → cold (buffered for boot)"), std::string::npos) << dashboard.output();
}

TEST(OpenDocument, RelativePathOfASecondStartIsResolvedInItsOwnFolder) {
    test::TempFolder folder;
    folder.write("a.ddd", {0x00});
    test::ChildProcess dashboard({DDD_PROBE_PATH});
    ASSERT_TRUE(dashboard.waitForOutput("PAGE startup none")) << dashboard.output();
    const std::string relative = std::filesystem::relative(folder.path() / "a.ddd").string();
    test::ChildProcess second({DDD_PROBE_PATH, relative});
    EXPECT_EQ(second.waitForExit(), 0) << second.output();
    EXPECT_TRUE(dashboard.waitForOutput("PAGE openPath " + std::filesystem::absolute(relative).lexically_normal().string() + "\n"))
        << dashboard.output();
    EXPECT_EQ(dashboard.waitForExit(), 0);
}

TEST(OpenDocument, WithoutASessionBusEachStartIsItsOwnInstance) {
    test::TempFolder folder;
    const std::string file = awkwardFile(folder);
    const std::vector<std::string> noBus{"DBUS_SESSION_BUS_ADDRESS=unix:path=" + (folder.path() / "no-bus").string()};
    test::ChildProcess first({DDD_PROBE_PATH, file}, noBus);
    EXPECT_TRUE(first.waitForOutput("PAGE startup " + file + "\n")) << first.output();
    EXPECT_EQ(first.waitForExit(), 0) << first.output();
}

TEST(OpenDocument, ServiceStartWithoutARequestEnds) {
    test::ChildProcess dashboard({DDD_PROBE_PATH, "--gapplication-service"});
    EXPECT_EQ(dashboard.waitForExit(30), 0) << dashboard.output();
    EXPECT_EQ(dashboard.output().find("PAGE"), std::string::npos);
}

}  // namespace
}  // namespace ddd::app
