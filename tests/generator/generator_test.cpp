// The card generator: ddd-gen as a process, the description format, timelines cut into days,
// texts in their code pages and the committed demo. The field layout is checked by the
// decoder's round trips.

#include "core/card_file.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"
#include "tools/generator/description_text.h"

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

TEST(DddGen, WritesWhatTheLibraryWritesAndNamesBadInput) {
    const test::TempFolder folder;
    ASSERT_EQ(ddGen({"random", "17", "20", "both", folder.file("r.ddd")}).first, 0);
    EXPECT_EQ(bytesOf(folder.file("r.ddd")), writeCardDownload(randomCard(17, 20, Generation::Both)));
    folder.writeText("c.txt", "generation gen2\nsurname Nowak\nday 2024-03-04 00:00 rest 06:00 drive\ninject truncate value=100\n");
    ASSERT_EQ(ddGen({"describe", folder.file("c.txt"), folder.file("c.ddd")}).first, 0);
    EXPECT_EQ(bytesOf(folder.file("c.ddd")).size(), 100u);
    // The committed demo is exactly what the tool writes today: regenerate it explicitly with
    // `ddd-gen demo demo/demo.ddd` when the demo driver changes.
    ASSERT_EQ(ddGen({"demo", folder.file("d.ddd")}).first, 0);
    EXPECT_EQ(bytesOf(folder.file("d.ddd")), writeCardDownload(demoCard()));
    EXPECT_EQ(bytesOf(DDD_SOURCE_DIR "/demo/demo.ddd"), writeCardDownload(demoCard()));

    folder.writeText("bad.txt", "generation gen1\n\nday 2024-03-04 00:00 sleep\n");
    folder.writeText("unwritable.txt", "codepage 1\nsurname Łukasz\n");
    const std::string out = folder.file("o.ddd");
    const std::pair<Arguments, std::string> cases[] = {
        {{}, "no command"},
        {{"random", "x", "10", "gen1", out}, "SEED"},
        {{"random", "1", "10", "gen3", out}, "gen1, gen2, both or v2"},
        {{"describe", folder.file("bad.txt"), out}, "bad.txt:3: unknown activity"},
        {{"describe", folder.file("missing.txt"), out}, "cannot read"},
        {{"describe", folder.file("unwritable.txt"), out}, "cannot be written in ISO-8859-1"},
        {{"demo", folder.file("no/such/dir/o.ddd")}, "cannot write"},
    };
    for (const auto& [arguments, message] : cases) {
        const auto [exitCode, output] = ddGen(arguments);
        EXPECT_EQ(exitCode, 1) << message;
        EXPECT_TRUE(test::contains(output, message)) << output;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(Description, ErrorsNameTheirLine) {
    const std::pair<const char*, int> cases[] = {
        {"generation gen3", 1}, {"\n\nday 2024-13-01 00:00 rest", 3}, {"day 2024-03-01 00:00 sleep", 1},
        {"# ok\nvehicle first=2024-03-04T06:00", 2}, {"vehicle plate=\"A B", 1}, {"place time=2024-03-04 type=begin", 1},
        {"event type=five begin=2024-03-04T06:00 end=2024-03-04T06:00", 1}, {"capacity gen1 colour=red", 1}, {"frobnicate", 1},
        {"\ninject explode", 2}, {"inject patch fid=0x0505 bytes=0f0", 1},
    };
    for (const auto& [text, line] : cases) {
        try {
            parseDescription(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const DescriptionError& e) {
            EXPECT_EQ(e.line(), line) << text << ": " << e.what();
        }
    }
}

TEST(Timeline, NightShiftIsCutAtMidnightAndGapsLeaveNoRecord) {
    Timeline t(utcTime(2024, 3, 4, "20:00"));
    t.add("work 0:30 drive 4:30 break 0:45").restUntil(utcTime(2024, 3, 5, "12:00"));
    t.skipTo(utcTime(2024, 3, 8, "06:00")).add("drive 1:00");
    const auto days = t.days(41);
    ASSERT_EQ(days.size(), 3u);
    const Day& first = days[0];
    ASSERT_EQ(first.changes.size(), 3u);
    EXPECT_TRUE(first.changes[0].cardAbsent) << "before the card was inserted";
    EXPECT_EQ(std::tuple(first.date, first.changes[1].minute, first.changes[2].minute), std::tuple(utcDay(2024, 3, 4), 20 * 60, 20 * 60 + 30));
    EXPECT_EQ(first.distanceKm, 245) << "3:30 of driving before midnight at 70 km/h";
    const Day& second = days[1];
    EXPECT_EQ(std::pair(second.changes[0].minute, second.changes[0].activity), std::pair(0, kDriving)) << "the ongoing activity";
    EXPECT_EQ(second.changes.back().minute, 12 * 60);
    EXPECT_TRUE(second.changes.back().cardAbsent) << "card withdrawn after the rest";
    EXPECT_EQ(std::pair(days[2].date, days[2].presenceCounter), std::pair(utcDay(2024, 3, 8), 43));
}

// Names in each code page come back from the decoder as they went in; texts a code page cannot
// hold are refused.
TEST(Texts, CodePagesRoundTripAndUnwritableTextsAreRefused) {
    const std::pair<const char*, std::uint8_t> names[] = {{"Łą ő", 2}, {"ß", 1}, {"€", 15}, {"Ω", 7}, {"ş", 9}, {"ж", 5},
                                                          {"Ж", 80}, {"Ґ", 85}, {"Ș", 16}, {"é", 0}};
    for (const auto& [name, codePage] : names) {
        CardDescription card;
        card.identity.surname = Text(name, codePage);
        const auto file = decodeCardFile(writeCardDownload(card));
        ASSERT_TRUE(file.ok() && file.value().gen1 && file.value().gen1->identification) << name;
        EXPECT_EQ(file.value().gen1->identification->surname, (CodePagedText{codePage, name}));
    }
    for (const Text& text : {Text("Ł", 1), Text("Ж", 2), Text(std::string(36, 'A')), Text("€", 1)}) {
        CardDescription card;
        card.identity.firstNames = text;
        EXPECT_THROW(writeCardDownload(card), std::invalid_argument) << text.utf8;
    }
}

} // namespace
} // namespace ddd::gen
