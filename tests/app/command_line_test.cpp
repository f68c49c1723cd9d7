#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "app/command_line.h"

namespace ddd::app {
namespace {

TEST(CommandLine, Parsing) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        StartAction action;
        bool finder;
        std::string startup;
        std::string scan;
        std::string diag;
    };
    const Case cases[] = {
        {"no arguments", {}, StartAction::Window, false, "", "", ""},
        {"version wins over later diag", {"--version", "--diag", "x.ddd"}, StartAction::PrintVersion, false, "", "", ""},
        {"diag ends the parse", {"--diag", "x.ddd", "--version"}, StartAction::Diagnose, false, "", "", "x.ddd"},
        {"help", {"-h"}, StartAction::PrintUsage, false, "", "", ""},
        {"long help after a file", {"a.ddd", "--help"}, StartAction::PrintUsage, false, "a.ddd", "", ""},
        {"lone open", {"--open"}, StartAction::Window, false, "", "", ""},
        {"last positional wins", {"a.ddd", "--open", "b.ddd", "c.ddd"}, StartAction::Window, false, "c.ddd", "", ""},
        {"open replaces positional", {"a.ddd", "--open", "b.ddd"}, StartAction::Window, false, "b.ddd", "", ""},
        {"open may take a dash", {"--open", "-odd.ddd"}, StartAction::Window, false, "-odd.ddd", "", ""},
        {"scan without finder", {"--scan", "/data"}, StartAction::Window, false, "", "/data", ""},
        {"finder with scan", {"--finder", "--scan", "/data"}, StartAction::Window, true, "", "/data", ""},
        {"lone scan and diag are ignored", {"--finder", "--scan"}, StartAction::Window, true, "", "", ""},
        {"trailing diag ignored", {"a.ddd", "--diag"}, StartAction::Window, false, "a.ddd", "", ""},
        {"unknown options ignored", {"--verbose", "-x", "b.ddd"}, StartAction::Window, false, "b.ddd", "", ""},
        {"options are case-sensitive", {"--VERSION"}, StartAction::Window, false, "", "", ""},
        {"empty argument is a file name", {""}, StartAction::Window, false, "", "", ""},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(c.args);
        EXPECT_EQ(line.action, c.action) << c.name;
        EXPECT_EQ(line.finderMode, c.finder) << c.name;
        EXPECT_EQ(line.startupFile, c.startup) << c.name;
        EXPECT_EQ(line.scanFolder, c.scan) << c.name;
        EXPECT_EQ(line.diagnoseFile, c.diag) << c.name;
    }
}

struct ProcessRun {
    int exitCode;
    std::string out;
};

ProcessRun runApp(const std::string& args) {
    const std::string command = std::string(DDD_APP_PATH) + " " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ProcessRun run{-1, ""};
    if (!pipe) return run;
    std::array<char, 256> buffer;
    while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) run.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(CommandLine, ProcessOutputAndExitCodes) {
    struct Case {
        const char* args;
        int exitCode;
        std::string out;
    };
    const Case cases[] = {
        {"--version", 0, "ddd_app 0.1.0\n"},
        {"--version --diag x.ddd", 0, "ddd_app 0.1.0\n"},
        {"-h", 0, "usage: ddd_app [--finder [--scan DIR]] [--open FILE.DDD] [--diag FILE.DDD]\n"},
        {"--diag x.ddd --version", 1, ""},
        {"--help --version", 0, "usage: ddd_app [--finder [--scan DIR]] [--open FILE.DDD] [--diag FILE.DDD]\n"},
    };
    for (const auto& c : cases) {
        const ProcessRun run = runApp(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
        EXPECT_EQ(run.out, c.out) << c.args;
    }
}

}  // namespace
}  // namespace ddd::app
