// The reference evaluation: the shift-based check of driving, working and rest times whose
// findings the dashboard's main list shows with a numeric code, whole minutes and a level.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "analysis/activity_segment.h"
#include "analysis/rule_catalogue.h"
#include "analysis/rule_context.h"
#include "analysis/shifts.h"

namespace ddd {

// Codes of the reference findings.
inline constexpr std::uint32_t kRefShiftDriving = 200801;
inline constexpr std::uint32_t kRefNightWorkingTime = 201701;
inline constexpr std::uint32_t kRefDrivingWithoutBreak = 200807;
inline constexpr std::uint32_t kRefWorkWithoutBreak = 200809;
inline constexpr std::uint32_t kRefBreakUnder45 = 200810;
inline constexpr std::uint32_t kRefBreakUnder30 = 200811;
inline constexpr std::uint32_t kRefWeeklyWorkingTime = 200804;
inline constexpr std::uint32_t kRefAverageWeeklyWorkingTime = 200805;
inline constexpr std::uint32_t kRefShiftTooLong = 200812;
inline constexpr std::uint32_t kRefDailyRestTooShort = 200818;
inline constexpr std::uint32_t kRefConsecutiveReducedWeeklyRest = 200816;
inline constexpr std::uint32_t kRefWeeklyRestLate = 200815;
inline constexpr std::uint32_t kRefReducedDailyRestCount = 200814;
inline constexpr std::uint32_t kRefCrewShiftTooLong = 200813;

// The findings, grouped by check in the order the checks run. `shifts` are the core shifts in
// time order, `timeline` the timeline they were cut from (in time order, without overlap),
// `crew` the stretches the card records as crew operation, in time order.
std::vector<ReferenceViolation> evaluateReferenceRules(const std::vector<CoreShift>& shifts, const Timeline& timeline,
                                                       std::span<const CrewStretch> crew = {});

// Short German description of the limit a code checks; a general text for any other code.
std::string_view referenceRuleText(std::uint32_t code);

}  // namespace ddd
