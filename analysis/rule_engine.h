// The strict evaluation: runs the rule checks in their fixed order over one timeline and
// returns their findings sorted by the instant they are dated by.
#pragma once

#include <span>
#include <vector>

#include "analysis/merge.h"
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

// Runs the strict checks of the catalogue over a timeline in time order; `crew` (in time order)
// marks the stretches recorded as crew operation, which give multi-manning its 30 h daily rest.
RuleEvaluation evaluateRules(const Timeline& timeline, const RuleOptions& options,
                             std::span<const CrewStretch> crew = {});

// The strict evaluation of a merged history: its chosen-days timeline, with the crew operation
// its change words record.
RuleEvaluation evaluateMergedView(const MergedCardView& view, const RuleOptions& options);

// Runs the given checks in the given order.
RuleEvaluation evaluateRulesWith(const Timeline& timeline, const RuleOptions& options, std::span<const RuleCheck> checks,
                                 std::span<const CrewStretch> crew = {});

// The driving and availability stretches of a chosen-days timeline that the card records with
// the crew status (driving status set, card inserted), joined where they touch.
std::vector<CrewStretch> crewStretches(const std::vector<ChosenDaySegment>& segments);

// Stable order by `when`, then by code bytewise (a code before any code it is a prefix of).
void sortViolations(std::vector<LegalViolation>& violations);

}  // namespace ddd
