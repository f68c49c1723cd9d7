// Cutting a driver's analysis down to one calendar month, as the CSV set, the driver report and
// the batch export show it.
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

}  // namespace ddd
