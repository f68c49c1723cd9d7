// An independent re-computation of what the strict checks measure, minute by minute, straight
// from the generator's description of a card: it shares no code with the decoder, the merge,
// the timeline or the rule checks it is compared with.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/analysis/test_support.h"
#include "tools/generator/card_description.h"

namespace ddd::test::oracle {

inline constexpr int kUnknown = -1;
inline constexpr std::int64_t kMinute = 60;

// The activity of every minute from 00:00 of the first recorded day to the end of the last one.
struct Minutes {
    std::int64_t start = 0;
    std::vector<int> activity;  // 0 rest, 1 availability, 2 work, 3 driving, kUnknown

    std::int64_t instant(std::size_t minute) const { return start + static_cast<std::int64_t>(minute) * kMinute; }
    std::size_t index(std::int64_t t) const { return static_cast<std::size_t>((t - start) / kMinute); }
};

inline Minutes minutesOf(const gen::CardDescription& card) {
    Minutes out;
    if (card.days.empty()) return out;
    out.start = card.days.front().date;
    out.activity.assign(static_cast<std::size_t>((card.days.back().date + 86400 - out.start) / kMinute), kUnknown);
    for (const gen::Day& day : card.days) {
        const std::size_t base = out.index(day.date);
        for (std::size_t i = 0; i < day.changes.size(); ++i) {
            const gen::ActivityChange& c = day.changes[i];
            const int until = i + 1 < day.changes.size() ? day.changes[i + 1].minute : 1440;
            const int activity = c.cardAbsent && !c.crew ? kUnknown : c.activity;
            for (int minute = c.minute; minute < until; ++minute) out.activity[base + static_cast<std::size_t>(minute)] = activity;
        }
    }
    return out;
}

// Monday 00:00 UTC of the week of t (1 January 1970 was a Thursday).
inline std::int64_t mondayOf(std::int64_t t) {
    std::int64_t day = t / 86400;
    if (t % 86400 < 0) --day;
    const std::int64_t sinceMonday = ((day + 3) % 7 + 7) % 7;
    return (day - sinceMonday) * 86400;
}

inline std::map<std::int64_t, std::int64_t> weeklySeconds(const Minutes& m, bool working) {
    std::map<std::int64_t, std::int64_t> weeks;
    for (std::size_t i = 0; i < m.activity.size(); ++i) {
        const int a = m.activity[i];
        if (a == 3 || (working && a == 2)) weeks[mondayOf(m.instant(i))] += kMinute;
    }
    return weeks;
}

// Start of the driving minute with which driving inside [from, to) goes beyond `limit`.
inline std::int64_t drivingPasses(const Minutes& m, std::int64_t from, std::int64_t to, std::int64_t limit) {
    std::int64_t driven = 0;
    for (std::size_t i = 0; i < m.activity.size(); ++i) {
        if (m.instant(i) < from || m.instant(i) >= to || m.activity[i] != 3) continue;
        if (driven == limit) return m.instant(i);
        driven += kMinute;
    }
    return to;
}

inline std::vector<Finding> weeklyDriving(const Minutes& m) {
    std::vector<Finding> out;
    for (const auto& [week, total] : weeklySeconds(m, false)) {
        if (total <= 56 * 3600) continue;
        out.push_back({"eu.561.weekly_driving.limit", 0, total, 201600, week, week + 7 * 86400,
                       drivingPasses(m, week, week + 7 * 86400, 201600)});
    }
    return out;
}

inline std::vector<Finding> fortnightDriving(const Minutes& m) {
    std::vector<Finding> out;
    const auto weeks = weeklySeconds(m, false);
    for (const auto& [week, total] : weeks) {
        const auto next = weeks.find(week + 7 * 86400);
        const std::int64_t sum = total + (next == weeks.end() ? 0 : next->second);
        if (sum <= 90 * 3600) continue;
        out.push_back({"eu.561.fortnight_driving.limit", 0, sum, 324000, week, week + 14 * 86400,
                       drivingPasses(m, week, week + 14 * 86400, 324000)});
    }
    return out;
}

inline std::vector<Finding> weeklyWorkingTime(const Minutes& m) {
    std::vector<Finding> out;
    for (const auto& [week, total] : weeklySeconds(m, true)) {
        if (total > 60 * 3600) {
            out.push_back({"eu.2002_15.weekly_working_time.over_60h", 0, total, 216000, week, week + 7 * 86400,
                           week + 7 * 86400});
        }
    }
    return out;
}

// Driving sequences of more than 270 minutes between qualifying breaks (45 minutes, or 30 after
// an earlier separate break of 15); unknown minutes end a sequence.
inline std::vector<Finding> drivingWithoutBreak(const Minutes& m) {
    std::vector<Finding> out;
    std::int64_t driven = 0, firstDrive = 0, reached = 0;
    bool firstPart = false;
    int run = 0;
    bool firstPartBeforeRun = false;
    std::size_t runStart = 0;
    const auto end = [&](std::int64_t at) {
        if (driven > 270 * kMinute) {
            out.push_back({"eu.561.breaks.driving_without_break", 0, driven, 16200, firstDrive, at, reached});
        }
        driven = 0;
        firstPart = false;
    };
    for (std::size_t i = 0; i < m.activity.size(); ++i) {
        const int a = m.activity[i];
        if (a == 0) {
            if (run == 0) {
                firstPartBeforeRun = firstPart;
                runStart = i;
            }
            ++run;
            if (run >= 45 || (firstPartBeforeRun && run >= 30)) {
                end(m.instant(runStart));
            } else if (run >= 15) {
                firstPart = true;
            }
            continue;
        }
        run = 0;
        if (a == kUnknown) end(m.instant(i));
        if (a != 3) continue;
        if (driven == 0) firstDrive = m.instant(i);
        if (driven == 270 * kMinute) reached = m.instant(i);
        driven += kMinute;
    }
    end(m.instant(m.activity.size()));
    return out;
}

// Maximal runs of rest minutes as [start, end).
inline std::vector<std::pair<std::int64_t, std::int64_t>> restRuns(const Minutes& m) {
    std::vector<std::pair<std::int64_t, std::int64_t>> runs;
    for (std::size_t i = 0; i < m.activity.size(); ++i) {
        if (m.activity[i] != 0) continue;
        if (!runs.empty() && runs.back().second == m.instant(i)) {
            runs.back().second += kMinute;
        } else {
            runs.push_back({m.instant(i), m.instant(i) + kMinute});
        }
    }
    return runs;
}

// The longest rest inside [from, to), each run cut to the window.
inline std::int64_t longestRest(const Minutes& m, std::int64_t from, std::int64_t to) {
    std::int64_t longest = 0;
    for (const auto& [a, b] : restRuns(m)) longest = std::max(longest, std::min(b, to) - std::max(a, from));
    return longest;
}

// Daily driving: the stretches between rests of 9 h or more, with complete data on both sides
// and inside; over 9 h, the first two of a week are allowed up to 10 h.
inline std::vector<Finding> dailyDriving(const Minutes& m) {
    std::vector<std::pair<std::int64_t, std::int64_t>> rests;
    for (const auto& run : restRuns(m)) {
        if (run.second - run.first >= 9 * 3600) rests.push_back(run);
    }
    std::vector<Finding> out;
    std::map<std::int64_t, int> extensions;
    for (std::size_t k = 1; k < rests.size(); ++k) {
        const std::int64_t from = rests[k - 1].second, to = rests[k].first;
        std::int64_t driving = 0;
        bool unknown = false;
        for (std::size_t i = m.index(from); i < m.index(to); ++i) {
            driving += m.activity[i] == 3 ? kMinute : 0;
            unknown = unknown || m.activity[i] == kUnknown;
        }
        if (unknown || driving <= 9 * 3600) continue;
        int& used = extensions[mondayOf(from)];
        if (used >= 2) {
            out.push_back({"eu.561.daily_driving", 0, driving, 32400, from, to, to});
        } else if (++used, driving > 10 * 3600) {
            out.push_back({"eu.561.daily_driving.extended", 0, driving, 36000, from, to, to});
        }
    }
    return out;
}

}  // namespace ddd::test::oracle
