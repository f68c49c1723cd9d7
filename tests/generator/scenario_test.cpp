// Scenario helpers: readable times, day text, timelines cut into days, random histories and
// the description format.

#include "tools/generator/card_generator.h"
#include "tools/generator/description_text.h"

#include <gtest/gtest.h>

namespace ddd::gen {
namespace {

TEST(Scenario, UtcDays) {
    EXPECT_EQ(utcDay(1970, 1, 1), 0);
    EXPECT_EQ(utcDay(2000, 2, 29), 951782400);
    EXPECT_EQ(utcDay(2024, 3, 4), 1709510400);
    EXPECT_EQ(utcDay(2024, 1, 1) - utcDay(2023, 12, 31), 86400);
    EXPECT_EQ(utcTime(2024, 3, 4, "06:15"), 1709510400 + 375 * 60);
}

TEST(Scenario, HourMinuteText) {
    struct Case {
        const char* text;
        int minutes; // -1: rejected
    };
    const Case cases[] = {{"06:15", 375}, {"0:00", 0}, {"24:00", 1440}, {"4:30", 270}, {"6:1", -1},
                          {"06:60", -1},  {"ab:cd", -1}, {"0615", -1},   {"", -1},      {"-1:00", -1}};
    for (const Case& c : cases) {
        if (c.minutes < 0) {
            EXPECT_THROW(minuteOfDay(c.text), std::invalid_argument) << c.text;
        } else {
            EXPECT_EQ(minuteOfDay(c.text), c.minutes) << c.text;
        }
    }
}

TEST(Scenario, DayTextWithModifiers) {
    const Day d = dayFromText(0, "00:00 rest+absent 05:00 drive+crew+co 09:00 avail");
    ASSERT_EQ(d.changes.size(), 3u);
    EXPECT_EQ(changeWord(d.changes[0]), 0x2000);
    EXPECT_EQ(changeWord(d.changes[1]), 0x8000 | 0x4000 | 3 << 11 | 300);
    EXPECT_EQ(changeWord(d.changes[2]), 1 << 11 | 540);
    EXPECT_THROW(dayFromText(0, "00:00 sleep"), std::invalid_argument);
    EXPECT_THROW(dayFromText(0, "00:00 rest+x"), std::invalid_argument);
    EXPECT_THROW(dayFromText(0, "00:00"), std::invalid_argument);
}

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

TEST(Scenario, RandomHistoriesArePlausible) {
    for (Generation g : {Generation::Gen1, Generation::Gen2, Generation::Both}) {
        for (std::uint64_t seed = 1; seed <= 20; ++seed) {
            SCOPED_TRACE(seed);
            const CardDescription card = randomCard(seed, 45, g);
            ASSERT_GE(card.days.size(), 20u);
            for (std::size_t i = 0; i < card.days.size(); ++i) {
                const Day& d = card.days[i];
                EXPECT_EQ(d.date % 86400, 0);
                if (i > 0) {
                    EXPECT_GT(d.date, card.days[i - 1].date);
                }
                ASSERT_FALSE(d.changes.empty());
                EXPECT_EQ(d.changes.front().minute, 0);
                for (std::size_t k = 1; k < d.changes.size(); ++k) {
                    EXPECT_GT(d.changes[k].minute, d.changes[k - 1].minute);
                    EXPECT_LT(d.changes[k].minute, 1440);
                }
            }
            for (const VehicleUse& v : card.vehicles) {
                EXPECT_LT(v.firstUse, v.lastUse);
                EXPECT_LE(v.odometerBegin, v.odometerEnd);
            }
            EXPECT_EQ(card.places.size(), 2 * card.vehicles.size());
            EXPECT_NO_THROW(writeCardDownload(card));
        }
    }
}

TEST(Scenario, DescriptionText) {
    const CardDescription card = parseDescription(R"(# demo
generation both
codepage 2
surname Łukasiewicz
firstnames Jan
card PL0000000012340
day 2024-03-04 00:00 rest 06:00 work 06:15 drive+crew 10:45 break presence=7 km=300
shift 2024-03-05T22:00 drive 4:00
vehicle plate="WX 12345" nation=40 first=2024-03-04T06:00 last=2024-03-04T16:00 odometer=100-400 vin=ABC
invehicle 2024-03-04T11:35
place time=2024-03-04T06:00 type=end country=0x28 lat=-5
event type=0x05 begin=2024-03-04T06:00 end=2024-03-04T06:01 plate="WX 12345"
capacity gen1 activity=5544 start=100
inject patch fid=0x0505 part=gen1 value=2 bytes=00ff
)");
    EXPECT_EQ(card.generation, Generation::Both);
    EXPECT_EQ(card.identity.surname.utf8, "Łukasiewicz");
    EXPECT_EQ(card.identity.surname.codePage, 2);
    ASSERT_EQ(card.days.size(), 3u);
    EXPECT_EQ(card.days[0].presenceCounter, 7);
    EXPECT_EQ(card.days[0].distanceKm, 300);
    EXPECT_TRUE(card.days[0].changes[2].crew);
    EXPECT_EQ(card.days[2].date, utcDay(2024, 3, 6));
    ASSERT_EQ(card.vehicles.size(), 1u);
    EXPECT_EQ(card.vehicles[0].registration.plate.utf8, "WX 12345");
    EXPECT_EQ(card.vehicles[0].odometerEnd, 0xFFFFFF) << "still in the vehicle";
    EXPECT_EQ(card.vehicles[0].lastUse, 0xFFFFFFFF);
    EXPECT_EQ(card.lastCardDownload, utcTime(2024, 3, 4, "11:35"));
    EXPECT_EQ(card.places[0].country, 40);
    EXPECT_EQ(card.places[0].latitude, -5);
    EXPECT_EQ(card.places[0].entryType, 1);
    EXPECT_EQ(card.events[0].type, 5);
    EXPECT_EQ(card.gen1.activityBytes, 5544);
    EXPECT_EQ(card.gen1.activityStartOffset, 100);
    ASSERT_EQ(card.inject.size(), 1u);
    EXPECT_EQ(card.inject[0].kind, Fault::Kind::PatchEf);
    EXPECT_EQ(card.inject[0].fid, 0x0505);
    EXPECT_EQ(card.inject[0].part, Generation::Gen1);
    EXPECT_EQ(card.inject[0].bytes, (std::vector<std::uint8_t>{0x00, 0xFF}));
    EXPECT_NO_THROW(writeCardDownload(card));
}

TEST(Scenario, DescriptionErrorsNameTheirLine) {
    struct Case {
        const char* text;
        int line;
    };
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
