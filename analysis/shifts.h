// Work shifts (Arbeitsschichten) cut out of the timeline at the daily and weekly rests, with
// their per-activity totals, and the detail block the dashboard and the reports show per shift.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/activity_segment.h"
#include "analysis/merge.h"

namespace ddd {

// An instant with a record code: a specific condition's type or a place record's entry type.
struct TimedCode {
    std::int64_t instant = 0;
    std::uint32_t code = 0;
};

std::vector<TimedCode> specificConditionCodes(const MergedCardView& view);
std::vector<TimedCode> placeCodes(const MergedCardView& view);

// A shift window and the seconds of each activity type inside it.
struct CoreShift {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t drive = 0;
    std::int64_t work = 0;
    std::int64_t standby = 0;
    std::int64_t breakTime = 0;
    std::int64_t unknown = 0;
    std::int64_t pieces = 0;  // timeline stretches overlapping the window
    std::uint8_t outOfScope = 0;

    bool operator==(const CoreShift&) const = default;
};

std::vector<CoreShift> buildShifts(const Timeline& timeline, const std::vector<TimedCode>& specificConditions,
                                   const std::vector<TimedCode>& places);

// Minutes of one activity type in a shift: between 06:00 and 22:00 UTC, outside, and in all.
struct DayNightMinutes {
    std::int64_t day = 0;
    std::int64_t night = 0;
    std::int64_t total = 0;

    bool operator==(const DayNightMinutes&) const = default;
};

struct ShiftDetail {
    DayNightMinutes drive;
    DayNightMinutes work;
    DayNightMinutes standby;
    DayNightMinutes breakTime;
    DayNightMinutes unknown;
    std::int64_t stops = 0;  // runs of break or unknown stretches
    std::int64_t acts = 0;   // activity stretches, a driving run counted once
    std::string vehicle;     // registrations used in the shift, joined by ", "
    std::int64_t distance = 0;         // km
    std::int64_t rest = 0;             // minutes to the next shift, 0 for the last
    std::int64_t restCompensated = 0;  // minutes of the rest counted as daily rest
    std::int64_t restSplit = 0;        // minutes of the first part of a split rest, or 0
    bool weekly = false;               // the rest after the shift counts as a weekly rest

    bool operator==(const ShiftDetail&) const = default;
};

std::vector<ShiftDetail> buildShiftDetails(const std::vector<CoreShift>& coreShifts, const Timeline& timeline,
                                           const std::vector<CardVehicleRecord>& vehicles);

// A shift as the result lists it: its core fields joined with its detail block.
struct ShiftRecord {
    CoreShift core;
    ShiftDetail detail;
};

// Joins core shifts with the detail block of the same index (an empty block where none exists).
std::vector<ShiftRecord> joinShifts(const std::vector<CoreShift>& coreShifts, const std::vector<ShiftDetail>& details);

// The timeline as shift totals count it: whole UTC days of card-absent rest or unknown activity
// left out (a day without card is no part of any shift) and overlaps clipped away.
Timeline countedStretches(const Timeline& timeline);

}  // namespace ddd
