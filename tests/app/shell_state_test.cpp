#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <vector>

#include "app/open_document.h"
#include "app/shell_host.h"
#include "tests/support/temp_folder.h"

namespace ddd::app {
namespace {

TEST(ShellState, ShutdownJoinsWorkersInOrderAndRemovesTheCardFolder) {
    test::TempFolder folder;
    folder.write("card/read.ddd", {0x76, 0x01});
    std::vector<int> finished;
    std::atomic<int> order{0};
    std::vector<int> slots(3, -1);
    ShellState state;
    auto worker = [&](int kind, int milliseconds) {
        return std::thread([&, kind, milliseconds] {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            slots[static_cast<std::size_t>(kind)] = order++;
        });
    };
    state.analysisThread = worker(0, 30);
    state.cardReadThread = worker(2, 10);
    state.cardTempDir = (folder.path() / "card").string();

    shutdownShellState(state);
    EXPECT_FALSE(state.analysisThread.joinable());
    EXPECT_FALSE(state.exportAllThread.joinable());
    EXPECT_FALSE(state.cardReadThread.joinable());
    EXPECT_NE(slots[0], -1);
    EXPECT_EQ(slots[1], -1);
    EXPECT_NE(slots[2], -1);
    EXPECT_TRUE(state.cardTempDir.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "card"));

    state.cardTempDir = (folder.path() / "gone").string();
    shutdownShellState(state);
    EXPECT_TRUE(state.cardTempDir.empty()) << "a folder that is already gone";
}

}  // namespace
}  // namespace ddd::app
