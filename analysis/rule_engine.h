// The strict evaluation: runs the rule checks in their fixed order over one timeline and
// returns their findings sorted by the instant they are dated by.
#pragma once

#include <span>
#include <vector>

#include "analysis/rule_catalogue.h"
#include "analysis/rule_context.h"

namespace ddd {

// What every check reads.
struct RuleCheckInput {
    const Timeline& timeline;
    const RuleContext& context;
    const RuleOptions& options;
};

// A check appends its findings to the list it is given.
using RuleCheck = void (*)(const RuleCheckInput& input, std::vector<LegalViolation>& findings);

struct RuleEvaluation {
    RuleContext context;
    std::vector<LegalViolation> violations;
};

// Runs the strict checks of the catalogue.
RuleEvaluation evaluateRules(const Timeline& timeline, const RuleOptions& options);

// Runs the given checks in the given order.
RuleEvaluation evaluateRulesWith(const Timeline& timeline, const RuleOptions& options, std::span<const RuleCheck> checks);

// Stable order by `when`, then by code bytewise (a code before any code it is a prefix of).
void sortViolations(std::vector<LegalViolation>& violations);

}  // namespace ddd
