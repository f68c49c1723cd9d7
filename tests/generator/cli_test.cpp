// ddd-gen as a process: its files match the library, and bad input ends in exit code 1 with a
// message that points at the problem.

#include "tests/support/process.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

#include <gtest/gtest.h>

namespace ddd::gen {
namespace {

using Arguments = std::vector<std::string>;

// Exit code and output of ddd-gen with the arguments.
std::pair<int, std::string> ddGen(Arguments arguments) {
    arguments.insert(arguments.begin(), DDD_GEN_PATH);
    test::ChildProcess run(arguments);
    const int exitCode = run.waitForExit();
    return {exitCode, run.output()};
}

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    const std::string text = test::readFile(path);
    return {text.begin(), text.end()};
}

TEST(DddGen, WritesWhatTheLibraryWrites) {
    const test::TempFolder folder;
    ASSERT_EQ(ddGen({"random", "17", "20", "both", folder.file("r.ddd")}).first, 0);
    EXPECT_EQ(bytesOf(folder.file("r.ddd")), writeCardDownload(randomCard(17, 20, Generation::Both)));
    ASSERT_EQ(ddGen({"demo", folder.file("d.ddd")}).first, 0);
    EXPECT_EQ(bytesOf(folder.file("d.ddd")), writeCardDownload(demoCard()));
    folder.writeText("c.txt", "generation gen2\nsurname Nowak\nday 2024-03-04 00:00 rest 06:00 drive\ninject truncate value=100\n");
    ASSERT_EQ(ddGen({"describe", folder.file("c.txt"), folder.file("c.ddd")}).first, 0);
    EXPECT_EQ(bytesOf(folder.file("c.ddd")).size(), 100u);
}

TEST(DddGen, BadInputFailsWithAMessage) {
    const test::TempFolder folder;
    folder.writeText("bad.txt", "generation gen1\n\nday 2024-03-04 00:00 sleep\n");
    folder.writeText("unwritable.txt", "codepage 1\nsurname Łukasz\n");
    const std::string out = folder.file("o.ddd");
    struct Case { Arguments arguments; std::string message; };
    const Case cases[] = {
        {{}, "no command"},
        {{"random", "x", "10", "gen1", out}, "SEED"},
        {{"random", "1", "10", "gen3", out}, "gen1, gen2 or both"},
        {{"describe", folder.file("bad.txt"), out}, "bad.txt:3: unknown activity"},
        {{"describe", folder.file("missing.txt"), out}, "cannot read"},
        {{"describe", folder.file("unwritable.txt"), out}, "cannot be written in ISO-8859-1"},
        {{"demo", folder.file("no/such/dir/o.ddd")}, "cannot write"},
    };
    for (const Case& c : cases) {
        const auto [exitCode, output] = ddGen(c.arguments);
        EXPECT_EQ(exitCode, 1) << c.message;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

} // namespace
} // namespace ddd::gen
