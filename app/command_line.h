// The command line of ddd_app, parsed in one left-to-right pass into what the process does.
#pragma once

#include <string>
#include <vector>

namespace ddd::app {

inline constexpr const char* kVersion = "0.1.0";
inline constexpr const char* kUsage = "usage: ddd_app [--finder [--scan DIR]] [--open FILE.DDD] [--diag FILE.DDD]";

enum class StartAction { Window, PrintVersion, PrintUsage, Diagnose };

struct CommandLine {
    StartAction action = StartAction::Window;
    bool finderMode = false;
    // With --finder: the window waits hidden until the dashboard hands it the user's request.
    bool standby = false;
    std::string scanFolder;
    std::string startupFile;
    std::string diagnoseFile;
};

// Arguments after the program name. Unknown options are ignored; --version, --help and
// --diag end the parse at once.
CommandLine parseCommandLine(const std::vector<std::string>& args);

}  // namespace ddd::app
