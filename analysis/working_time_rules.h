// Checks of working time (work and driving) against Directive 2002/15/EC: the weekly cap
// (Art. 4(a)), breaks (Art. 5) and the daily cap when night work is done (Art. 7).
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/rule_engine.h"

namespace ddd {

// Weeks with more than 60 h of working time.
void checkWeeklyWorkingTime(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

// More than 6 h of working time without a break of 15 min, and daily work periods whose breaks
// total less than 30 min (more than 6 h of work) or 45 min (more than 9 h).
void checkWorkingTimeBreaks(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

// Daily work periods with night work and more than 10 h of working time.
void checkNightWork(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

// Working seconds of [from, to) inside the night window of the options, taken on the German
// legal-time calendar day.
std::int64_t nightWorkingSeconds(std::int64_t from, std::int64_t to, const RuleOptions& options);

}  // namespace ddd
