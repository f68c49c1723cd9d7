#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/command_line.h"

namespace ddd::app {
namespace {

// Arguments and what they start: action, finder mode, start-up file, scan folder, file to diagnose.
TEST(CommandLine, Parsing) {
    using A = StartAction;
    const std::tuple<std::vector<std::string>, StartAction, bool, std::string, std::string, std::string> cases[] = {
        {{}, A::Window, false, "", "", ""},
        {{"--version", "--diag", "x.ddd"}, A::PrintVersion, false, "", "", ""},
        {{"--diag", "x.ddd", "--version"}, A::Diagnose, false, "", "", "x.ddd"},
        {{"a.ddd", "--help"}, A::PrintUsage, false, "a.ddd", "", ""},
        {{"a.ddd", "--open", "b.ddd", "c.ddd"}, A::Window, false, "c.ddd", "", ""},
        {{"a.ddd", "--open", "-odd.ddd"}, A::Window, false, "-odd.ddd", "", ""},
        {{"--finder", "--scan", "/data"}, A::Window, true, "", "/data", ""},
        {{"--finder", "--scan"}, A::Window, true, "", "", ""},
        {{"a.ddd", "--diag"}, A::Window, false, "a.ddd", "", ""},
        {{"--verbose", "--VERSION", "b.ddd"}, A::Window, false, "b.ddd", "", ""},
    };
    for (const auto& [args, action, finder, startup, scan, diag] : cases) {
        const CommandLine line = parseCommandLine(args);
        EXPECT_EQ(std::tuple(line.action, line.finderMode, line.startupFile, line.scanFolder, line.diagnoseFile),
                  std::tuple(action, finder, startup, scan, diag)) << (args.empty() ? "" : args.back());
    }
}

}  // namespace
}  // namespace ddd::app
