// The forecasts of the dashboard: how much of each driving- and working-time limit the driver has
// used at the end of the last shift.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/activity_segment.h"
#include "analysis/forecast.h"
#include "analysis/shifts.h"

namespace ddd {

// Limits that identify the forecast entries, in the order of the list (seconds).
inline constexpr std::int64_t kForecastDrivingSinceBreak = 16200;
inline constexpr std::int64_t kForecastWorkingSinceBreak = 21600;
inline constexpr std::int64_t kForecastShiftDriving = 36000;
inline constexpr std::int64_t kForecastShiftLength = 54000;
inline constexpr std::int64_t kForecastCrewShiftLength = 75600;
inline constexpr std::int64_t kForecastWeeklyDriving = 201600;
inline constexpr std::int64_t kForecastWeeklyWorkingTime = 216000;
inline constexpr std::int64_t kForecastFortnightDriving = 324000;
inline constexpr std::int64_t kForecastSinceWeeklyRest = 518400;

// The forecasts at `at` (the end of the last shift when `at` is below 1), measured against the
// last of `shifts` (in time order). Empty without shifts or without segments.
std::vector<Forecast> computeForecasts(const Timeline& timeline, const std::vector<CoreShift>& shifts,
                                       std::int64_t at);

}  // namespace ddd
