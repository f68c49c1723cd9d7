// The order of the checks fixes the order of findings dated by the same instant and code.
#include "analysis/rule_engine.h"

#include <algorithm>
#include <array>

#include "analysis/driving_rules.h"
#include "analysis/rest_rules.h"
#include "analysis/working_time_rules.h"

namespace ddd {
namespace {

constexpr std::array<RuleCheck, 9> kStrictChecks{
    checkDailyDriving,      checkBreaks,      checkWeeklyDriving,
    checkFortnightDriving,  checkDailyRest,   checkWeeklyRest,
    checkWeeklyWorkingTime, checkWorkingTimeBreaks, checkNightWork,
};

constexpr std::uint16_t kCardNotInserted = 0x2000;
constexpr std::uint16_t kDrivingStatus = 0x4000;
constexpr std::uint8_t kAvailability = 1;
constexpr std::uint8_t kDriving = 3;

}  // namespace

void sortViolations(std::vector<LegalViolation>& violations) {
    std::stable_sort(violations.begin(), violations.end(), [](const LegalViolation& a, const LegalViolation& b) {
        if (a.when != b.when) return a.when < b.when;
        return a.code < b.code;
    });
}

RuleEvaluation evaluateRulesWith(const Timeline& timeline, const RuleOptions& options, std::span<const RuleCheck> checks,
                                 std::span<const CrewStretch> crew) {
    RuleEvaluation evaluation;
    evaluation.context = buildRuleContext(timeline, options, crew);
    const RuleCheckInput input{timeline, evaluation.context, options};
    for (RuleCheck check : checks) check(input, evaluation.violations);
    sortViolations(evaluation.violations);
    return evaluation;
}

RuleEvaluation evaluateRules(const Timeline& timeline, const RuleOptions& options, std::span<const CrewStretch> crew) {
    return evaluateRulesWith(timeline, options, kStrictChecks, crew);
}

RuleEvaluation evaluateMergedView(const MergedCardView& view, const RuleOptions& options) {
    const std::vector<CrewStretch> crew = crewStretches(view.chosenDaysTimeline);
    return evaluateRules(toActivitySegments(view.chosenDaysTimeline), options, crew);
}

std::vector<CrewStretch> crewStretches(const std::vector<ChosenDaySegment>& segments) {
    std::vector<CrewStretch> crew;
    for (const auto& s : segments) {
        const bool crewStatus = (s.word & (kCardNotInserted | kDrivingStatus)) == kDrivingStatus;
        if (s.end <= s.start || s.noData || !crewStatus || (s.type != kDriving && s.type != kAvailability)) continue;
        if (!crew.empty() && crew.back().end == s.start) {
            crew.back().end = s.end;
        } else {
            crew.push_back({s.start, s.end});
        }
    }
    return crew;
}

}  // namespace ddd
