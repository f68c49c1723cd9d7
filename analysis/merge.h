// Merge of all card downloads of one driver into one day-by-day history: the most complete
// record of every day, the days the downloads disagree on, and the union of the cyclic records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/activity_segment.h"
#include "core/card_file.h"

namespace ddd {

// The card downloads handed to the analysis; null entries are ignored.
using CardList = std::span<const DriverCardFile* const>;

// 00:00 UTC of the calendar day a record date belongs to (rounded to the nearest midnight, so
// records dated at a local midnight east of UTC land on their own day).
std::int64_t dayKey(std::int64_t recordDate);

// Same date, presence counter, distance and change words.
bool sameRecord(const DailyActivityRecord& a, const DailyActivityRecord& b);

// Canonical bytes of a record (date and full content): equal exactly when sameRecord holds.
std::string recordKey(const DailyActivityRecord& record);

// Source identity of an application part: nation, card number and generation.
struct SourceIdentity {
    std::uint8_t nation = 0;
    std::string cardNumber;
    std::uint8_t generation = 1;

    auto operator<=>(const SourceIdentity&) const = default;
};

// One distinct content of a day and the sources that hold it. `dataEnd` is the instant the
// record's data ends at when every download holding it was taken during that day (0 when some
// download holds it as a whole day).
struct DayVariant {
    DailyActivityRecord record;
    std::vector<SourceIdentity> holders;
    std::int64_t dataEnd = 0;
};

// A day for which the downloads hold more than one distinct record.
struct DayConflict {
    std::int64_t day = 0;
    std::vector<DayVariant> variants;
};

// The record chosen for one calendar day. A download taken while the card was in use holds its
// newest day only up to the moment of downloading: `dataEnd` is that moment when the chosen
// record comes from such a download, 0 when the record covers the whole day.
struct ChosenDay {
    std::int64_t day = 0;  // day key
    DailyActivityRecord record;
    std::int64_t dataEnd = 0;
};

// Why a stretch of the chosen-days timeline holds what it holds.
enum class SegmentReason : std::uint8_t {
    Resolved = 0,
    NoData = 1,
    MissingDay = 3,
    ConflictingDownloads = 4,
};

// A stretch of the timeline resolved minute by minute from the chosen days; unknown wherever data
// is missing or the downloads contradict each other.
struct ChosenDaySegment {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::uint8_t type = 0;
    std::uint8_t cardAbsent = 0;
    std::uint8_t noData = 0;
    SegmentReason reason = SegmentReason::Resolved;
    std::uint8_t unordered = 0;
    std::uint16_t word = 0;

    bool operator==(const ChosenDaySegment&) const = default;
};

// One driver's downloads merged: identification, chosen days, conflicts and cyclic records.
struct MergedCardView {
    std::optional<CardIdentification> identification;  // of the newest download
    std::uint32_t downloadsMerged = 0;
    std::vector<ChosenDay> days;
    std::vector<DayConflict> dayConflicts;
    std::vector<CardVehicleRecord> vehiclesUsed;
    std::vector<PlaceRecord> places;
    std::vector<EventFaultRecord> events;  // events and faults
    std::vector<ControlActivity> controls;
    std::vector<SpecificConditionRecord> specificConditions;
    // Files of second-version cards, by time, each record once however many downloads hold it.
    std::vector<BorderCrossingRecord> borderCrossings;
    std::vector<LoadUnloadRecord> loadOperations;
    std::vector<std::string> recordDiagnostics;  // German, each text once
    bool hasSecondVersion = false;  // some download carries the border-crossing file
    std::vector<ChosenDaySegment> chosenDaysTimeline;
    // English descriptions of input the merge could not take at face value (several cards,
    // change words out of order or past the end of the day).
    std::vector<std::string> warnings;
};

// Merges the downloads of one driver; never fails, a download without activity data simply
// contributes no days. The result does not depend on the order of the list.
MergedCardView mergeDownloads(CardList cards);

// Resolves the chosen days minute by minute into the chosen-days timeline: days missing between
// chosen days, minutes without data and minutes on which the variants of a conflict day disagree
// become unknown stretches with their reason.
std::vector<ChosenDaySegment> buildChosenDaysTimeline(const std::vector<ChosenDay>& days,
                                                      const std::vector<DayConflict>& conflicts);

// English descriptions of chosen records whose change words are out of time order or lie past
// the end of the day.
std::vector<std::string> describeRecordFaults(const std::vector<ChosenDay>& days);

// The chosen-days timeline as plain activity segments, the input of the strict rule evaluation.
Timeline toActivitySegments(const std::vector<ChosenDaySegment>& segments);

}  // namespace ddd
