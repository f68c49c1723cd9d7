// Checks of rest periods against Regulation (EC) No 561/2006: the daily rest after each rest
// period (Art. 8(2), 8(4), 8(5)), the start of each weekly rest and the pairing of reduced weekly
// rests (Art. 8(6)).
#pragma once

#include <vector>

#include "analysis/rule_engine.h"

namespace ddd {

// The 24 h after each rest period must hold a regular, reduced or split daily rest, with at most
// three reduced rests between two weekly rests; the 30 h after a rest that a crew tour follows
// must hold 9 h of rest.
void checkDailyRest(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

// A weekly rest must begin within six 24 h periods after the previous one, and two consecutive
// weeks must not both hold only a reduced weekly rest.
void checkWeeklyRest(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

}  // namespace ddd
