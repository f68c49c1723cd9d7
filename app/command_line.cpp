#include "app/command_line.h"

namespace ddd::app {

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasNext = i + 1 < args.size();
        if (arg == "--finder") {
            line.finderMode = true;
        } else if (arg == "--standby") {
            line.standby = true;
        } else if (arg == "--open" && hasNext) {
            line.startupFile = args[++i];
        } else if (arg == "--scan" && hasNext) {
            line.scanFolder = args[++i];
        } else if (arg == "--version") {
            line.action = StartAction::PrintVersion;
            return line;
        } else if (arg == "-h" || arg == "--help") {
            line.action = StartAction::PrintUsage;
            return line;
        } else if (arg == "--diag" && hasNext) {
            line.action = StartAction::Diagnose;
            line.diagnoseFile = args[i + 1];
            return line;
        } else if (arg[0] != '-') {
            line.startupFile = arg;
        }
    }
    return line;
}

}  // namespace ddd::app
