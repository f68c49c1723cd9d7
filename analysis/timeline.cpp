// The timeline is built from the day the merge chose for each calendar day, so two downloads of
// one day never both contribute stretches: an unfinished copy of a day, whose last activity runs
// on to midnight, cannot overlay the complete copy.
#include "analysis/regulation_limits.h"
#include "analysis/timeline.h"

#include <algorithm>

namespace ddd {
namespace {


std::int64_t nextMidnight(std::int64_t t) {
    std::int64_t r = t % kDay;
    if (r < 0) r += kDay;
    return t - r + kDay;
}

class TimelineWriter {
public:
    explicit TimelineWriter(Timeline& out) : out_(out) {}

    bool started() const { return started_; }

    void startAt(std::int64_t t) {
        started_ = true;
        cursor_ = t;
    }

    void append(const ActivitySegment& segment) {
        fillUpTo(segment.start);
        out_.push_back(segment);
        cursor_ = segment.end;
    }

    // Time the card holds nothing for is card absent; it keeps a manually entered activity of
    // the card-absent stretch before it, and is unknown otherwise.
    void fillUpTo(std::int64_t t) {
        const bool carry = !out_.empty() && out_.back().cardAbsent;
        const std::uint8_t type = carry ? out_.back().type : kUnknownActivity;
        while (cursor_ < t) {
            const std::int64_t end = std::min(t, nextMidnight(cursor_));
            out_.push_back(ActivitySegment{cursor_, end, type, 1});
            cursor_ = end;
        }
    }

private:
    Timeline& out_;
    bool started_ = false;
    std::int64_t cursor_ = 0;
};

// The change words of a day as they can be laid out: words past the end of the day dropped, and
// words out of time order put in order of their minute.
DailyActivityRecord usableWords(const DailyActivityRecord& record) {
    DailyActivityRecord usable = record;
    std::erase_if(usable.changes, [](std::uint16_t w) { return changeMinute(w) > 1439; });
    std::stable_sort(usable.changes.begin(), usable.changes.end(),
                     [](std::uint16_t a, std::uint16_t b) { return changeMinute(a) < changeMinute(b); });
    return usable;
}

}  // namespace

Timeline buildTimeline(const MergedCardView& view) {
    Timeline out;
    out.reserve(view.days.size() * 12);
    TimelineWriter writer(out);
    for (const ChosenDay& chosen : view.days) {
        const DailyActivityRecord usable = usableWords(chosen.record);
        if (usable.changes.empty()) continue;
        if (!writer.started()) writer.startAt(chosen.day);
        const std::int64_t dataEnd = chosen.dataEnd != 0 ? chosen.dataEnd : chosen.day + kDay;
        for (const DaySegment& seg : daySegments(usable)) {
            const std::int64_t start = chosen.day + seg.startMinute * 60;
            if (start >= dataEnd) break;
            writer.append(ActivitySegment{start, std::min(chosen.day + seg.endMinute * 60, dataEnd),
                                          activityTypeOfWord(seg.word),
                                          static_cast<std::uint8_t>(changeCardAbsent(seg.word) ? 1 : 0)});
        }
        // A day downloaded while the card was in use holds nothing after the download: the newest
        // day of the history ends there, an earlier one is unknown until midnight.
        if (dataEnd < chosen.day + kDay && &chosen != &view.days.back()) {
            writer.append(ActivitySegment{dataEnd, chosen.day + kDay, kUnknownActivity, 0});
        }
    }
    if (writer.started() && view.days.back().dataEnd == 0) writer.fillUpTo(view.days.back().day + kDay);
    return out;
}

}  // namespace ddd
