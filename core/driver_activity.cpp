// Driver_Activity_Data (0x0504), both generations:
//   oldest-record pointer 2 | newest-record pointer 2 | cyclic area (EF length - 4)
// A day record inside the cyclic area, every offset taken modulo the area's size:
//   previous record length 2 | this record length 2 | date (TimeReal, 00:00 UTC) 4 |
//   presence counter (BCD) 2 | distance km 2 | activity change words 2 each
#include <array>

#include "core/card_efs.h"

namespace ddd {
namespace {

constexpr std::uint32_t kMinKeptLength = 14;
constexpr std::uint32_t kMaxKeptLength = 12 + 2 * 1440;
constexpr std::uint32_t kHeaderLength = 12;

// Reads of the cyclic area with wrap-around, without copying it.
class CyclicArea {
public:
    explicit CyclicArea(Bytes area) : area_(area) {}

    std::size_t size() const { return area_.size(); }
    std::uint8_t u8(std::size_t offset) const { return area_[offset % area_.size()]; }
    std::uint16_t u16(std::size_t offset) const {
        return static_cast<std::uint16_t>((u8(offset) << 8) | u8(offset + 1));
    }
    std::uint32_t u32(std::size_t offset) const {
        return (static_cast<std::uint32_t>(u16(offset)) << 16) | u16(offset + 2);
    }

private:
    Bytes area_;
};

DailyActivityRecord readDay(const CyclicArea& area, std::size_t pos, std::uint32_t length) {
    DailyActivityRecord day;
    day.date = area.u32(pos + 4);
    std::array<std::uint8_t, 2> presence{area.u8(pos + 8), area.u8(pos + 9)};
    if (auto counter = bcdValue(presence)) {
        day.presenceCounter = static_cast<std::uint32_t>(*counter);
        day.hasPresenceCounter = true;
    }
    day.distanceKm = area.u16(pos + 10);
    const std::uint32_t wordCount = (length - kHeaderLength) / 2;
    day.changes.reserve(wordCount);
    for (std::uint32_t i = 0; i < wordCount; ++i) day.changes.push_back(area.u16(pos + kHeaderLength + 2 * i));
    return day;
}

bool isKeptDay(const DailyActivityRecord& day, std::uint32_t length) {
    if (length < kMinKeptLength || length > kMaxKeptLength) return false;
    if (day.date % 86400 != 0) return false;
    bool startsAtMidnight = false;
    for (std::uint16_t word : day.changes) {
        if (changeMinute(word) >= 1440) return false;
        if (changeMinute(word) == 0) startsAtMidnight = true;
    }
    return startsAtMidnight;
}

bool minutesStrictlyIncrease(const DailyActivityRecord& day) {
    for (std::size_t i = 1; i < day.changes.size(); ++i) {
        if (changeMinute(day.changes[i]) <= changeMinute(day.changes[i - 1])) return false;
    }
    return true;
}

}  // namespace

Decoded<DriverActivity> decodeDriverActivity(Bytes value) {
    if (value.size() < 16) {
        return DecodeError{0, "EF Driver_Activity_Data: too small (" + std::to_string(value.size()) + " bytes)"};
    }
    ByteReader header(value);
    const std::size_t oldest = header.u16();
    const std::size_t newest = header.u16();
    const CyclicArea area(value.subspan(4));
    const std::size_t areaSize = area.size();
    if (oldest >= areaSize || newest >= areaSize) {
        return DecodeError{0, "EF Driver_Activity_Data: pointer outside cyclic area"};
    }

    DriverActivity activity;
    const std::uint16_t oldestLength = area.u16(oldest + 2);
    if (oldestLength == 0) return activity;
    if (oldestLength < kHeaderLength || area.u16(oldest) != 0) {
        activity.malformedStops = 1;
        return activity;
    }

    std::size_t pos = oldest;
    std::uint32_t expectedPrevious = 0;
    std::size_t consumed = 0;
    bool wrapped = false;
    for (;;) {
        if (area.u16(pos) != expectedPrevious) {
            ++activity.malformedStops;
            break;
        }
        const std::uint32_t length = area.u16(pos + 2);
        if (length < kHeaderLength || length > areaSize || length % 2 != 0) {
            ++activity.malformedStops;
            break;
        }
        DailyActivityRecord day = readDay(area, pos, length);
        if (isKeptDay(day, length)) {
            if (!minutesStrictlyIncrease(day)) ++activity.unorderedDays;
            activity.days.push_back(std::move(day));
        } else {
            ++activity.skippedRecords;
        }
        const bool done = pos == newest;
        wrapped |= pos + length >= areaSize;
        consumed += length;
        if (consumed > areaSize) {
            ++activity.malformedStops;
            break;
        }
        if (done) break;
        pos = (pos + length) % areaSize;
        expectedPrevious = length;
    }
    activity.historyFromStart = activity.malformedStops == 0 && oldest == 0 && !wrapped;
    return activity;
}

std::vector<DaySegment> daySegments(const DailyActivityRecord& day) {
    std::vector<DaySegment> segments;
    segments.reserve(day.changes.size());
    for (std::size_t i = 0; i < day.changes.size(); ++i) {
        const std::uint16_t word = day.changes[i];
        const std::uint32_t start = changeMinute(word);
        const std::uint32_t end = i + 1 < day.changes.size() ? changeMinute(day.changes[i + 1]) : 1440;
        if (start > 1439 || end > 1440 || end <= start) continue;
        std::uint16_t state;
        if (!changeCardAbsent(word)) {
            state = word & 0xF800;
        } else {
            state = changeCrewOrKnown(word) ? (word & 0x7800) : (word & 0x6000);
        }
        segments.push_back(DaySegment{start, end, state, word});
    }
    return segments;
}

}  // namespace ddd
