// ddd-gen as a process: its files match the library, and bad input ends in exit code 1 with a
// message that points at the problem.

#include "tools/generator/card_generator.h"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace ddd::gen {
namespace {

namespace fs = std::filesystem;

struct ProcessResult {
    int exitCode;
    std::string output; // stdout and stderr
};

ProcessResult ddGen(const std::string& arguments) {
    const std::string command = std::string(DDD_GEN_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, "popen failed"};
    std::string output;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe)) output += buf;
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class DddGen : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("ddd-gen-test-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(DddGen, WritesWhatTheLibraryWrites) {
    ASSERT_EQ(ddGen("random 17 20 both " + path("r.ddd")).exitCode, 0);
    EXPECT_EQ(readFile(path("r.ddd")), writeCardDownload(randomCard(17, 20, Generation::Both)));
    ASSERT_EQ(ddGen("demo " + path("d.ddd")).exitCode, 0);
    EXPECT_EQ(readFile(path("d.ddd")), writeCardDownload(demoCard()));
    std::ofstream(path("c.txt")) << "generation gen2\nsurname Nowak\nday 2024-03-04 00:00 rest 06:00 drive\n"
                                    "inject truncate value=100\n";
    ASSERT_EQ(ddGen("describe " + path("c.txt") + " " + path("c.ddd")).exitCode, 0);
    EXPECT_EQ(readFile(path("c.ddd")).size(), 100u);
}

TEST_F(DddGen, BadInputFailsWithAMessage) {
    std::ofstream(path("bad.txt")) << "generation gen1\n\nday 2024-03-04 00:00 sleep\n";
    std::ofstream(path("unwritable.txt")) << "codepage 1\nsurname Łukasz\n";
    struct Case {
        std::string arguments;
        std::string message;
    };
    const Case cases[] = {
        {"", "no command"},
        {"random x 10 gen1 " + path("o.ddd"), "SEED"},
        {"random 1 10 gen3 " + path("o.ddd"), "gen1, gen2 or both"},
        {"describe " + path("bad.txt") + " " + path("o.ddd"), "bad.txt:3: unknown activity"},
        {"describe " + path("missing.txt") + " " + path("o.ddd"), "cannot read"},
        {"describe " + path("unwritable.txt") + " " + path("o.ddd"), "cannot be written in ISO-8859-1"},
        {"demo " + path("no/such/dir/o.ddd"), "cannot write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProcessResult run = ddGen(c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    EXPECT_FALSE(fs::exists(path("o.ddd")));
}

} // namespace
} // namespace ddd::gen
