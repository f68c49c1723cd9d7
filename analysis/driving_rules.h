// Checks of driving time against Regulation (EC) No 561/2006: daily driving (Art. 6(1)), the
// break after 4 h 30 min of driving (Art. 7), weekly (Art. 6(2)) and fortnightly (Art. 6(3))
// driving.
#pragma once

#include <vector>

#include "analysis/rule_engine.h"

namespace ddd {

// Daily work periods with more than 9 h of driving; the first two such days of a week are
// measured against the extended 10 h.
void checkDailyDriving(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

// Driving sequences of more than 4 h 30 min without a qualifying break (45 min, or 15 min
// followed later by 30 min).
void checkBreaks(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

// Weeks (Monday 00:00 of the calendar of the options) with more than 56 h of driving.
void checkWeeklyDriving(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

// Pairs of consecutive weeks with more than 90 h of driving.
void checkFortnightDriving(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

}  // namespace ddd
