#include "app/shell_host.h"

#include <cstdio>
#include <filesystem>

namespace ddd::app {

void shutdownShellState(ShellState& state) {
    state.closing = true;
    for (std::thread* worker : {&state.analysisThread, &state.exportAllThread, &state.cardReadThread, &state.vehicleReportThread,
                                &state.fleetThread, &state.fleetCompletionThread}) {
        if (worker->joinable()) worker->join();
    }
    if (!state.cardTempDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(state.cardTempDir, ignored);
        state.cardTempDir.clear();
    }
}

void diagLog(const std::string& message) {
    std::fprintf(stderr, "DIAG: %s\n", message.c_str());
    std::fflush(stderr);
}

}  // namespace ddd::app
