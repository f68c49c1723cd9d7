#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

int notAvailable(const char* mode) {
    std::fprintf(stderr, "ddd_app: the %s is not available in this build\n", mode);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ddd::app;
    const CommandLine line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case StartAction::PrintVersion:
        std::printf("ddd_app %s\n", kVersion);
        return 0;
    case StartAction::PrintUsage:
        std::printf("%s\n", kUsage);
        return 0;
    case StartAction::Diagnose:
        return notAvailable("diagnostic mode");
    case StartAction::Window:
        return notAvailable(line.finderMode ? "finder window" : "dashboard window");
    }
    return 1;
}
