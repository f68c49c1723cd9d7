#include <gtest/gtest.h>

#include <vector>

#include "core/card_efs.h"

namespace ddd {
namespace {

using ByteVector = std::vector<std::uint8_t>;
constexpr std::uint32_t kDay = 86400 * 19700;  // a UTC midnight in 2023

std::uint16_t word(std::uint32_t minute, std::uint32_t activity = 0, std::uint16_t flags = 0) {
    return static_cast<std::uint16_t>(flags | (activity << 11) | minute);
}

// Lays day records into a cyclic area by hand, so the walk's corner cases can be set up exactly.
class ActivityEf {
public:
    explicit ActivityEf(std::size_t areaSize) : area_(areaSize, 0) {}

    // Writes a record at pos; returns the position after it.
    std::size_t put(std::size_t pos, std::uint16_t previous, std::uint16_t length, std::uint32_t date,
                    const std::vector<std::uint16_t>& words, ByteVector presence = {0x00, 0x01}) {
        auto byte = [&](std::size_t off, std::uint8_t v) { area_[(pos + off) % area_.size()] = v; };
        auto u16 = [&](std::size_t off, std::uint16_t v) {
            byte(off, static_cast<std::uint8_t>(v >> 8));
            byte(off + 1, static_cast<std::uint8_t>(v));
        };
        u16(0, previous);
        u16(2, length);
        u16(4, static_cast<std::uint16_t>(date >> 16));
        u16(6, static_cast<std::uint16_t>(date));
        byte(8, presence[0]);
        byte(9, presence[1]);
        u16(10, 123);
        for (std::size_t i = 0; i < words.size(); ++i) u16(12 + 2 * i, words[i]);
        return (pos + length) % area_.size();
    }

    ByteVector bytes(std::uint16_t oldest, std::uint16_t newest) const {
        ByteVector ef{static_cast<std::uint8_t>(oldest >> 8), static_cast<std::uint8_t>(oldest),
                      static_cast<std::uint8_t>(newest >> 8), static_cast<std::uint8_t>(newest)};
        ef.insert(ef.end(), area_.begin(), area_.end());
        return ef;
    }

private:
    ByteVector area_;
};

std::uint16_t lengthFor(std::size_t words) { return static_cast<std::uint16_t>(12 + 2 * words); }

TEST(DriverActivity, RejectedEfs) {
    auto tooSmall = decodeDriverActivity(ByteVector(15));
    ASSERT_FALSE(tooSmall.ok());
    EXPECT_EQ(tooSmall.error().message, "EF Driver_Activity_Data: too small (15 bytes)");
    ByteVector pointerAtEnd(4 + 100, 0);
    pointerAtEnd[3] = 100;
    auto outside = decodeDriverActivity(pointerAtEnd);
    ASSERT_FALSE(outside.ok());
    EXPECT_EQ(outside.error().message, "EF Driver_Activity_Data: pointer outside cyclic area");
    EXPECT_EQ(outside.error().offset, 0u);
}

TEST(DriverActivity, EmptyAndBrokenStarts) {
    auto empty = decodeDriverActivity(ByteVector(16));
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty.value().days.empty());
    EXPECT_EQ(empty.value().malformedStops, 0u);
    EXPECT_FALSE(empty.value().historyFromStart);

    ActivityEf shortFirst(100);
    shortFirst.put(0, 0, 8, kDay, {});
    auto broken = decodeDriverActivity(shortFirst.bytes(0, 0));
    ASSERT_TRUE(broken.ok());
    EXPECT_EQ(broken.value().malformedStops, 1u);

    ActivityEf previousSet(100);
    previousSet.put(0, 14, 14, kDay, {word(0)});
    EXPECT_EQ(decodeDriverActivity(previousSet.bytes(0, 0)).value().malformedStops, 1u);
}

TEST(DriverActivity, KeepOrSkipRecords) {
    std::vector<std::uint16_t> fullDay;
    for (std::uint32_t m = 0; m < 1440; ++m) fullDay.push_back(word(m, m % 4));
    struct Case {
        const char* name;
        std::uint16_t length;
        std::uint32_t date;
        std::vector<std::uint16_t> words;
        bool kept;
        std::uint32_t unordered;
    };
    const Case cases[] = {
        {"one word at midnight", lengthFor(1), kDay, {word(0, 3)}, true, 0},
        {"no change words", 12, kDay, {}, false, 0},
        {"1440 words", lengthFor(1440), kDay, fullDay, true, 0},
        {"no word at minute 0", lengthFor(2), kDay, {word(5), word(60)}, false, 0},
        {"minute 1440", lengthFor(2), kDay, {word(0), word(1440)}, false, 0},
        {"date off midnight", lengthFor(1), kDay + 1, {word(0)}, false, 0},
        {"repeated minute kept but counted", lengthFor(3), kDay, {word(0), word(300), word(300)}, true, 1},
        {"backwards minute kept but counted", lengthFor(3), kDay, {word(0), word(600), word(300)}, true, 1},
    };
    for (const auto& c : cases) {
        ActivityEf ef(4000);
        ef.put(0, 0, c.length, c.date, c.words);
        auto decoded = decodeDriverActivity(ef.bytes(0, 0));
        ASSERT_TRUE(decoded.ok()) << c.name;
        const auto& activity = decoded.value();
        EXPECT_EQ(activity.days.size(), c.kept ? 1u : 0u) << c.name;
        EXPECT_EQ(activity.skippedRecords, c.kept ? 0u : 1u) << c.name;
        EXPECT_EQ(activity.unorderedDays, c.unordered) << c.name;
        EXPECT_EQ(activity.malformedStops, 0u) << c.name;
        if (c.kept) {
            EXPECT_EQ(activity.days[0].changes, c.words) << c.name;
        }
    }

    ActivityEf tooLong(3000);
    std::vector<std::uint16_t> words = fullDay;
    words.push_back(word(1439));
    tooLong.put(0, 0, lengthFor(1441), kDay, words);
    EXPECT_EQ(decodeDriverActivity(tooLong.bytes(0, 0)).value().skippedRecords, 1u) << "length 2894";
}

TEST(DriverActivity, WrappedRecordsDecodeLikeUnwrappedOnes) {
    const std::vector<std::uint16_t> day1{word(0), word(360, 3), word(600, 0), word(645, 2), word(1080, 0)};
    const std::vector<std::uint16_t> day2{word(0, 0), word(420, 3)};
    const std::uint16_t len1 = lengthFor(day1.size());
    const std::uint16_t len2 = lengthFor(day2.size());

    ActivityEf straight(200);
    std::size_t next = straight.put(0, 0, len1, kDay, day1, {0x12, 0x34});
    straight.put(next, len1, len2, kDay + 86400, day2);
    auto reference = decodeDriverActivity(straight.bytes(0, static_cast<std::uint16_t>(next)));
    ASSERT_TRUE(reference.ok());
    EXPECT_TRUE(reference.value().historyFromStart);

    // Start positions that split the header, the date, the presence counter and the words.
    for (std::size_t start : {60u, 170u, 178u, 181u, 183u, 185u, 190u, 195u, 199u}) {
        ActivityEf wrapped(200);
        std::size_t second = wrapped.put(start, 0, len1, kDay, day1, {0x12, 0x34});
        wrapped.put(second, len1, len2, kDay + 86400, day2);
        auto decoded = decodeDriverActivity(
            wrapped.bytes(static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(second)));
        ASSERT_TRUE(decoded.ok()) << start;
        const auto& days = decoded.value().days;
        ASSERT_EQ(days.size(), 2u) << start;
        EXPECT_EQ(days[0].changes, day1) << start;
        EXPECT_EQ(days[1].changes, day2) << start;
        EXPECT_EQ(days[0].presenceCounter, 1234u) << start;
        EXPECT_EQ(days[1].date, kDay + 86400) << start;
        EXPECT_EQ(decoded.value().malformedStops, 0u) << start;
        EXPECT_FALSE(decoded.value().historyFromStart) << start;
    }
}

TEST(DriverActivity, BrokenChains) {
    const std::vector<std::uint16_t> words{word(0), word(480, 3)};
    const std::uint16_t len = lengthFor(words.size());

    ActivityEf badLink(200);
    std::size_t p = badLink.put(0, 0, len, kDay, words);
    std::size_t q = badLink.put(p, len, len, kDay + 86400, words);
    badLink.put(q, len + 2, len, kDay + 2 * 86400, words);
    auto linked = decodeDriverActivity(badLink.bytes(0, static_cast<std::uint16_t>(q)));
    ASSERT_TRUE(linked.ok());
    EXPECT_EQ(linked.value().days.size(), 2u) << "days before the break are kept";
    EXPECT_EQ(linked.value().malformedStops, 1u);
    EXPECT_FALSE(linked.value().historyFromStart);

    ActivityEf oddLength(200);
    p = oddLength.put(0, 0, len, kDay, words);
    oddLength.put(p, len, 17, kDay + 86400, words);
    auto odd = decodeDriverActivity(oddLength.bytes(0, static_cast<std::uint16_t>(p)));
    EXPECT_EQ(odd.value().days.size(), 1u);
    EXPECT_EQ(odd.value().malformedStops, 1u);

    // A newest pointer the chain never meets: the walk ends once it has consumed more than the
    // area. The third record wraps onto the first one's header, whose previous length it zeroes.
    ActivityEf lap(48);
    std::size_t second = lap.put(0, 0, 16, kDay, words);
    std::size_t third = lap.put(second, 16, 18, kDay + 86400, {word(0), word(60), word(120)});
    lap.put(third, 18, 16, kDay + 2 * 86400, {word(0), 0x0000});
    auto endless = decodeDriverActivity(lap.bytes(0, 7));
    ASSERT_TRUE(endless.ok());
    EXPECT_EQ(endless.value().malformedStops, 1u);
    EXPECT_EQ(endless.value().days.size(), 3u) << "the record that overran stays kept";
    EXPECT_EQ(endless.value().unorderedDays, 1u);
}

TEST(DaySegments, StretchesAndStates) {
    DailyActivityRecord day;
    day.changes = {word(0, 0), word(480, 3), word(480, 2), word(600, 1)};
    auto segments = daySegments(day);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ((std::pair{segments[0].startMinute, segments[0].endMinute}), (std::pair{0u, 480u}));
    EXPECT_EQ((std::pair{segments[1].startMinute, segments[1].endMinute}), (std::pair{480u, 600u}));
    EXPECT_EQ(segments[1].word, word(480, 2));
    EXPECT_EQ((std::pair{segments[2].startMinute, segments[2].endMinute}), (std::pair{600u, 1440u}));

    struct Case { const char* name; std::uint16_t word; std::uint16_t state; };
    const Case cases[] = {
        {"inserted keeps slot, crew and activity", word(0, 3, 0xC000), 0xD800},
        {"absent and known keeps crew bit and activity", word(0, 2, 0xE000), 0x7000},
        {"absent and unknown keeps only the status bits", word(0, 3, 0xA000), 0x2000},
    };
    for (const auto& c : cases) {
        DailyActivityRecord one;
        one.changes = {c.word};
        auto s = daySegments(one);
        ASSERT_EQ(s.size(), 1u) << c.name;
        EXPECT_EQ(s[0].state, c.state) << c.name;
    }

    DailyActivityRecord backwards;
    backwards.changes = {word(0), word(700), word(600)};
    auto b = daySegments(backwards);
    ASSERT_EQ(b.size(), 2u) << "a backwards stretch yields nothing";
    EXPECT_EQ(b[1].startMinute, 600u);
    EXPECT_EQ(b[1].endMinute, 1440u);
}

}  // namespace
}  // namespace ddd
