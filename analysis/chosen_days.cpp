// The chosen-days timeline: each minute of each chosen day resolved from every distinct variant
// of that day, so that the strict evaluation never rests on data that is missing or contradicted
// by another download.
#include <algorithm>
#include <array>

#include "analysis/regulation_limits.h"
#include "analysis/merge.h"
#include "core/primitives.h"

namespace ddd {
namespace {

constexpr std::uint32_t kMinutesPerDay = 1440;

bool minutesStrictlyIncrease(const DailyActivityRecord& record) {
    for (std::size_t i = 1; i < record.changes.size(); ++i) {
        if (changeMinute(record.changes[i]) <= changeMinute(record.changes[i - 1])) return false;
    }
    return true;
}

// What one minute resolved to; consecutive equal minutes form one segment.
struct MinuteState {
    std::uint8_t type = kUnknownActivity;
    std::uint8_t cardAbsent = 0;
    std::uint8_t noData = 1;
    SegmentReason reason = SegmentReason::NoData;
    std::uint16_t word = 0;

    bool operator==(const MinuteState&) const = default;
};

// One copy of a day and the minute its data ends at (1440 for a whole day).
struct DayCopy {
    const DailyActivityRecord* record = nullptr;
    std::uint32_t endMinute = kMinutesPerDay;
};

std::uint32_t endMinuteOf(std::int64_t day, std::int64_t dataEnd) {
    if (dataEnd == 0) return kMinutesPerDay;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>((dataEnd - day) / 60, 0, kMinutesPerDay));
}

// The stretches of a copy of a day, cut off where its data ends.
std::vector<DaySegment> segmentsOf(const DayCopy& copy) {
    std::vector<DaySegment> segments = daySegments(*copy.record);
    std::erase_if(segments, [&](const DaySegment& seg) { return seg.startMinute >= copy.endMinute; });
    for (auto& seg : segments) seg.endMinute = std::min(seg.endMinute, copy.endMinute);
    return segments;
}

// A single record in time order needs no minute-by-minute resolution: its stretches are disjoint
// and each is resolved by its own word.
void layOutSingleRecord(std::int64_t day, const DayCopy& copy, std::vector<ChosenDaySegment>& out) {
    std::uint32_t covered = 0;
    auto noData = [&](std::uint32_t from, std::uint32_t to) {
        if (to > from) {
            out.push_back(ChosenDaySegment{day + from * 60, day + to * 60, kUnknownActivity, 0, 1,
                                           SegmentReason::NoData, 0, 0});
        }
    };
    for (const DaySegment& seg : segmentsOf(copy)) {
        noData(covered, seg.startMinute);
        out.push_back(ChosenDaySegment{day + seg.startMinute * 60, day + seg.endMinute * 60,
                                       activityTypeOfWord(seg.word),
                                       static_cast<std::uint8_t>(changeCardAbsent(seg.word) ? 1 : 0), 0,
                                       SegmentReason::Resolved, 0, seg.word});
        covered = seg.endMinute;
    }
    noData(covered, kMinutesPerDay);
}

void resolveDay(std::int64_t day, const std::vector<DayCopy>& copies, std::vector<ChosenDaySegment>& out) {
    if (copies.size() == 1 && minutesStrictlyIncrease(*copies.front().record)) {
        layOutSingleRecord(day, copies.front(), out);
        return;
    }
    constexpr std::int32_t kNone = -1;
    std::array<std::int32_t, kMinutesPerDay> state;
    std::array<std::uint16_t, kMinutesPerDay> word{};
    std::array<bool, kMinutesPerDay> disagree{};
    state.fill(kNone);
    bool unordered = false;
    for (const DayCopy& copy : copies) {
        unordered = unordered || !minutesStrictlyIncrease(*copy.record);
        for (const DaySegment& seg : segmentsOf(copy)) {
            for (std::uint32_t m = seg.startMinute; m < seg.endMinute; ++m) {
                if (state[m] == kNone) {
                    state[m] = seg.state;
                    word[m] = seg.word;
                } else if (state[m] != seg.state) {
                    disagree[m] = true;
                }
            }
        }
    }
    auto minuteState = [&](std::uint32_t m) {
        MinuteState s;
        if (disagree[m]) {
            s.reason = SegmentReason::ConflictingDownloads;
        } else if (state[m] != kNone) {
            s = MinuteState{activityTypeOfWord(word[m]), static_cast<std::uint8_t>(changeCardAbsent(word[m]) ? 1 : 0), 0,
                            SegmentReason::Resolved, word[m]};
        }
        return s;
    };
    std::uint32_t first = 0;
    MinuteState current = minuteState(0);
    for (std::uint32_t m = 1; m <= kMinutesPerDay; ++m) {
        const MinuteState next = m < kMinutesPerDay ? minuteState(m) : MinuteState{};
        if (m < kMinutesPerDay && next == current) continue;
        out.push_back(ChosenDaySegment{day + first * 60, day + m * 60, current.type, current.cardAbsent, current.noData,
                                       current.reason, static_cast<std::uint8_t>(unordered ? 1 : 0), current.word});
        first = m;
        current = next;
    }
}

}  // namespace

std::vector<ChosenDaySegment> buildChosenDaysTimeline(const std::vector<ChosenDay>& days,
                                                      const std::vector<DayConflict>& conflicts) {
    std::vector<ChosenDaySegment> out;
    out.reserve(days.size() * 8);
    auto conflict = conflicts.begin();
    const std::int64_t* previousDay = nullptr;
    std::vector<DayCopy> copies;
    for (const ChosenDay& chosen : days) {
        if (previousDay != nullptr) {
            for (std::int64_t missing = *previousDay + kDay; missing < chosen.day; missing += kDay) {
                out.push_back(ChosenDaySegment{missing, missing + kDay, kUnknownActivity, 0, 1,
                                               SegmentReason::MissingDay, 0, 0});
            }
        }
        while (conflict != conflicts.end() && conflict->day < chosen.day) ++conflict;
        copies.clear();
        if (conflict != conflicts.end() && conflict->day == chosen.day) {
            for (const auto& variant : conflict->variants) {
                copies.push_back({&variant.record, endMinuteOf(chosen.day, variant.dataEnd)});
            }
        } else {
            copies.push_back({&chosen.record, endMinuteOf(chosen.day, chosen.dataEnd)});
        }
        resolveDay(chosen.day, copies, out);
        previousDay = &chosen.day;
    }
    return out;
}

std::vector<std::string> describeRecordFaults(const std::vector<ChosenDay>& days) {
    std::vector<std::string> texts;
    for (const ChosenDay& chosen : days) {
        const std::string date = formatDate(chosen.day);
        if (!minutesStrictlyIncrease(chosen.record)) {
            texts.push_back(date + ": activity changes are not in time order");
        }
        for (std::uint16_t w : chosen.record.changes) {
            if (changeMinute(w) < kMinutesPerDay) continue;
            texts.push_back(date + ": activity change at minute " + std::to_string(changeMinute(w)) +
                            " lies past the end of the day and was ignored");
        }
    }
    return texts;
}

Timeline toActivitySegments(const std::vector<ChosenDaySegment>& segments) {
    Timeline timeline;
    timeline.reserve(segments.size());
    for (const auto& s : segments) timeline.push_back(ActivitySegment{s.start, s.end, s.type, s.cardAbsent});
    return timeline;
}

}  // namespace ddd
