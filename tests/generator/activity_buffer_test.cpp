// The activity EF as a cyclic buffer: chaining, wrapping round the end, overwriting the oldest.

#include "tests/generator/walkers.h"
#include "tools/generator/card_generator.h"

#include <gtest/gtest.h>

namespace ddd::gen {
namespace {

using test::be;
using test::Bytes;
using test::WalkedDay;

// Days with 1 to 5 changes, so records have different lengths.
std::vector<Day> sampleDays(int count) {
    std::vector<Day> days;
    const char* patterns[] = {"00:00 rest", "00:00 rest 06:00 drive", "00:00 rest 06:00 work 06:30 drive 11:00 rest",
                              "00:00 rest 05:00 work 05:20 drive 09:50 break 10:35 drive 15:00 rest"};
    for (int i = 0; i < count; ++i) days.push_back(dayFromText(utcDay(2024, 1, 1) + i * 86400, patterns[i % 4], i + 1));
    return days;
}

Bytes activityEf(const std::vector<Day>& days, Capacities caps) {
    CardDescription card;
    card.days = days;
    card.gen1 = caps;
    return test::findTlv(test::splitTlv(writeCardDownload(card)).value(), 0x0504, 0)->value;
}

// The walk must reach the newest pointer with a consistent chain and give back the newest
// `expected` days of the description, in order, with their exact words.
void expectChain(const Bytes& ef, const std::vector<Day>& days, std::size_t expected) {
    const auto walked = test::walkActivity(ef);
    ASSERT_EQ(walked.size(), expected);
    if (walked.empty()) return;
    EXPECT_EQ(walked.back().offset, be(ef, 2, 2)) << "walk did not end on the newest pointer";
    EXPECT_EQ(walked.front().previousLength, 0u);
    const std::size_t first = days.size() - expected;
    for (std::size_t i = 0; i < walked.size(); ++i) {
        const Day& day = days[first + i];
        EXPECT_EQ(walked[i].date, static_cast<unsigned>(day.date));
        if (i > 0) {
            EXPECT_EQ(walked[i].previousLength, walked[i - 1].length);
        }
        ASSERT_EQ(walked[i].words.size(), day.changes.size());
        for (std::size_t w = 0; w < day.changes.size(); ++w) EXPECT_EQ(walked[i].words[w], changeWord(day.changes[w]));
    }
}

TEST(ActivityBuffer, ChainRunsFromOldestToNewest) {
    struct Case {
        const char* name;
        int activityBytes;
        int startOffset;
        int days;
        std::size_t kept;
        bool straddles; // some record crosses the end of the area
    };
    // Record lengths of sampleDays cycle 14, 16, 20, 24 bytes (74 per four days).
    const Case cases[] = {
        {"from the start, no wrap", 13776, 0, 30, 30, false},
        {"empty card", 13776, 0, 0, 0, false},
        {"record body straddles the end", 100, 90, 3, 3, true},
        {"length field split by the end", 100, 97, 2, 2, true},
        {"previous-length field split by the end", 100, 99, 2, 2, true},
        {"oldest days overwritten", 100, 0, 12, 5, true},
        {"exactly full", 74, 0, 4, 4, false},
        {"one byte short of full", 73, 0, 4, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Capacities caps;
        caps.activityBytes = c.activityBytes;
        caps.activityStartOffset = c.startOffset;
        const auto days = sampleDays(c.days);
        const Bytes ef = activityEf(days, caps);
        ASSERT_EQ(ef.size(), static_cast<std::size_t>(c.activityBytes) + 4);
        expectChain(ef, days, c.kept);
        bool straddles = false;
        for (const WalkedDay& d : test::walkActivity(ef)) straddles |= d.offset + d.length > static_cast<std::size_t>(c.activityBytes);
        EXPECT_EQ(straddles, c.straddles);
    }
}

TEST(ActivityBuffer, LongRandomHistoryKeepsTheNewestDaysInBothApplications) {
    CardDescription card = randomCard(5, 400, Generation::Both);
    card.gen1.activityBytes = 3000;
    card.gen2.activityBytes = 5544;
    const auto records = *test::splitTlv(writeCardDownload(card));
    for (unsigned appendix : {0u, 2u}) {
        SCOPED_TRACE(appendix);
        const Bytes& ef = test::findTlv(records, 0x0504, appendix)->value;
        const auto walked = test::walkActivity(ef);
        ASSERT_FALSE(walked.empty());
        std::size_t total = 0;
        for (const auto& d : walked) total += d.length;
        EXPECT_LE(total, ef.size() - 4);
        ASSERT_LT(walked.size(), card.days.size()) << "400 days must overflow the buffer";
        EXPECT_EQ(walked.back().date, static_cast<unsigned>(card.days.back().date));
        expectChain(ef, card.days, walked.size());
    }
}

TEST(ActivityBuffer, DayLargerThanTheAreaIsRejected) {
    Capacities caps;
    caps.activityBytes = 40;
    const Day day = dayFromText(0, "00:00 rest 01:00 work 02:00 drive 03:00 rest 04:00 work 05:00 drive "
                                   "06:00 rest 07:00 work 08:00 drive 09:00 rest 10:00 work 11:00 drive 12:00 rest 13:00 work 14:00 drive");
    EXPECT_THROW(activityEf({day}, caps), std::invalid_argument); // 12 + 15 * 2 = 42 bytes
    caps.activityBytes = 42;
    EXPECT_NO_THROW(activityEf({day}, caps));

}

} // namespace
} // namespace ddd::gen
