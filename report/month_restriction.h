// Cutting a driver's analysis down to one calendar month, as the CSV set, the driver report and
// the batch export show it, and the period of days such a report covers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/analysis_result.h"

namespace ddd {

// "YYYY/MM" of an instant in German legal time.
std::string monthKeyOf(std::int64_t utcSeconds);

// German name of month 1 to 12 ("März"); empty for any other number.
std::string_view germanMonthName(std::uint32_t month);

// True for the keys that mean "every month": empty, "all" and "__all__".
bool isAllMonthsKey(const std::string& monthKey);

// Each list keeps, in its order, the records whose deciding instant lies in the month; the
// strict findings are dropped. An all-months key returns the result whole.
AnalysisResult restrictToMonth(const AnalysisResult& result, const std::string& monthKey);

// The calendar days (German legal time) a driver's figures cover: one definition for the analysis
// document, the page and every report. Day numbers count from 1 January 1970; empty when last < first.
struct CoveredDays {
    std::int64_t first = 1;
    std::int64_t last = 0;
};

// From the day the timeline begins to the day it ends; a segment ending at midnight ends the day before.
CoveredDays coveredDays(const Timeline& activities);

// The days of a month ("YYYY/MM") that `whole` covers; `whole` itself for an all-months key.
CoveredDays coveredDaysInMonth(const CoveredDays& whole, const std::string& monthKey);

// "05.03.2024 – 31.03.2024", or with long dates "05. März 2024 – 31. März 2024"; one date when
// first and last are the same day, "–" when no day is covered.
std::string periodText(const CoveredDays& days, bool longDates);

}  // namespace ddd
