#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "tests/support/process.h"

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

TEST(CommandLine, ProcessOutputAndExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string output;  // checked when the run succeeds; a failed diagnosis logs to standard error
    };
    const std::string usage = "usage: ddd_app [--finder [--scan DIR]] [--open FILE.DDD] [--diag FILE.DDD]\n";
    const Case cases[] = {
        {{"--version"}, 0, "ddd_app 0.1.0\n"},
        {{"--version", "--diag", "x.ddd"}, 0, "ddd_app 0.1.0\n"},
        {{"-h"}, 0, usage},
        {{"--diag", "x.ddd", "--version"}, 1, ""},
        {{"--help", "--version"}, 0, usage},
    };
    for (const auto& c : cases) {
        std::vector<std::string> command{DDD_APP_PATH};
        command.insert(command.end(), c.args.begin(), c.args.end());
        test::ChildProcess run(command);
        EXPECT_EQ(run.waitForExit(), c.exitCode) << c.args.front();
        if (c.exitCode == 0) {
            EXPECT_EQ(run.output(), c.output) << c.args.front();
        }
    }
}

}  // namespace
}  // namespace ddd::app
