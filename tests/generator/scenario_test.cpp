// Scenario helpers: readable times, day text, timelines cut into days, random histories and
// the description format.

#include "tools/generator/card_generator.h"
#include "tools/generator/description_text.h"

#include <gtest/gtest.h>

namespace ddd::gen {
namespace {

TEST(Scenario, NightShiftIsCutAtMidnightAndGapsLeaveNoRecord) {
    Timeline t(utcTime(2024, 3, 4, "20:00"));
    t.add("work 0:30 drive 4:30 break 0:45").restUntil(utcTime(2024, 3, 5, "12:00"));
    t.skipTo(utcTime(2024, 3, 8, "06:00")).add("drive 1:00");
    const auto days = t.days(41);
    ASSERT_EQ(days.size(), 3u);
    const Day& first = days[0];
    EXPECT_EQ(first.date, utcDay(2024, 3, 4));
    ASSERT_EQ(first.changes.size(), 3u);
    EXPECT_TRUE(first.changes[0].cardAbsent) << "before the card was inserted";
    EXPECT_EQ(first.changes[1].minute, 20 * 60);
    EXPECT_EQ(first.changes[2].minute, 20 * 60 + 30);
    EXPECT_EQ(first.distanceKm, 245) << "3:30 of driving before midnight at 70 km/h";
    const Day& second = days[1];
    EXPECT_EQ(second.changes[0].minute, 0);
    EXPECT_EQ(second.changes[0].activity, kDriving) << "the day begins with the ongoing activity";
    EXPECT_EQ(second.changes.back().minute, 12 * 60);
    EXPECT_TRUE(second.changes.back().cardAbsent) << "card withdrawn after the rest";
    EXPECT_EQ(days[2].date, utcDay(2024, 3, 8));
    EXPECT_EQ(days[2].presenceCounter, 43);
}

TEST(Scenario, DescriptionErrorsNameTheirLine) {
    struct Case { const char* text; int line; };
    const Case cases[] = {
        {"generation gen3", 1},
        {"\n\nday 2024-13-01 00:00 rest", 3},
        {"day 2024-03-01 00:00 sleep", 1},
        {"# ok\nvehicle first=2024-03-04T06:00", 2},
        {"vehicle plate=\"A B", 1},
        {"place time=2024-03-04 type=begin", 1},
        {"event type=five begin=2024-03-04T06:00 end=2024-03-04T06:00", 1},
        {"capacity gen1 colour=red", 1},
        {"frobnicate", 1},
        {"\ninject explode", 2},
        {"inject patch fid=0x0505 bytes=0f0", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            parseDescription(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const DescriptionError& e) {
            EXPECT_EQ(e.line(), c.line) << e.what();
        }
    }
}

} // namespace
} // namespace ddd::gen
