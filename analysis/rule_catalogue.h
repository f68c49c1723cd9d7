// The rules of the strict evaluation, their legal sources and violation codes, the infringement
// classes, and the records both evaluations produce.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ddd {

// One rule: identifier, legal instrument, article.
struct RuleInfo {
    std::string_view rule;
    std::string_view regulation;
    std::string_view article;
};

enum class RuleId : std::size_t {
    DailyDriving,
    Breaks,
    WeeklyDriving,
    FortnightDriving,
    DailyRest,
    DailyRestReducedCount,
    WeeklyRestStart,
    WeeklyRestLength,
    WeeklyWorkingTime,
    WorkingTimeBreaks,
    NightWork,
};

// All eleven rules, in the order of RuleId.
std::span<const RuleInfo> ruleCatalogue();
const RuleInfo& ruleInfo(RuleId id);

// Infringement classes of Commission Regulation (EU) 2016/403, Annex I and III.
enum InfringementClass : std::int32_t {
    kUnclassified = 0,
    kMinorInfringement = 1,         // MI
    kSeriousInfringement = 2,       // SI
    kVerySeriousInfringement = 3,   // VSI
    kMostSeriousInfringement = 4,   // MSI
};

// "MI", "SI", "VSI", "MSI", or "UNCLASSIFIED" for any other value.
std::string severityText(std::int32_t severity);

// One finding of the strict evaluation.
struct LegalViolation {
    std::string code;
    std::string rule;
    std::string regulation;
    std::string article;
    std::int32_t severity = 0;
    std::int32_t limitIsMinimum = 0;
    std::int32_t countValued = 0;
    std::int64_t value = 0;
    std::int64_t limit = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t when = 0;

    bool operator==(const LegalViolation&) const = default;
};

// One finding of the shift-based reference evaluation (values in minutes, or a count).
struct ReferenceViolation {
    std::uint32_t code = 0;
    std::int64_t when = 0;
    std::int64_t value = 0;
    std::int64_t limit = 0;
    std::uint32_t level = 0;  // 4 and above is critical

    bool operator==(const ReferenceViolation&) const = default;
};

enum class ViolationCode : std::size_t {
    DailyDriving,
    DailyDrivingExtended,
    DrivingWithoutBreak,
    WeeklyDriving,
    FortnightDriving,
    ReducedDailyRestTooShort,
    RegularDailyRestTooShort,
    SplitRestSecondPartShort,
    ReducedDailyRestCountExceeded,
    WeeklyRestStartLate,
    SecondReducedWeeklyRestInPair,
    WeeklyWorkingTimeOver60h,
    SixHoursWorkWithoutBreak,
    WorkingTimeBreaksInsufficient,
    NightWorkDailyCap,
};

// A violation code with its rule, limit and the bounds of its infringement classes. A finding
// against a maximum is MI below the first bound, SI below the second, and so on; one against a
// minimum is MI at or above the first bound, SI at or above the second, and so on; the class
// after the last bound applies beyond it. A code without bounds is unclassified.
struct ViolationCodeInfo {
    std::string_view code;
    RuleId rule;
    std::int64_t limit;
    std::int32_t limitIsMinimum;
    std::int32_t countValued;
    std::array<std::int64_t, 3> classBounds;
    std::size_t classBoundCount;
};

std::span<const ViolationCodeInfo> violationCodes();
const ViolationCodeInfo& violationCodeInfo(ViolationCode code);

// The infringement class of a finding of `info` whose classifying quantity is `measure` (the
// value, or what the code's rule classifies by: the excess, the second part of a split rest).
std::int32_t infringementClass(const ViolationCodeInfo& info, std::int64_t measure);

// A finding with the code's rule strings, limit and flags, classified by its value.
LegalViolation makeLegalViolation(ViolationCode code, std::int64_t value, std::int64_t start, std::int64_t end,
                                  std::int64_t when);

}  // namespace ddd
