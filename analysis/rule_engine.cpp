// The order of the checks fixes the order of findings dated by the same instant and code.
#include "analysis/rule_engine.h"

#include <algorithm>
#include <array>

namespace ddd {
namespace {

// Daily driving, breaks, weekly and fortnight driving, daily rest, weekly rest, weekly working
// time, working-time breaks and night work run in this order once they are written; none is yet.
constexpr std::array<RuleCheck, 0> kStrictChecks{};

}  // namespace

void sortViolations(std::vector<LegalViolation>& violations) {
    std::stable_sort(violations.begin(), violations.end(), [](const LegalViolation& a, const LegalViolation& b) {
        if (a.when != b.when) return a.when < b.when;
        return a.code < b.code;
    });
}

RuleEvaluation evaluateRulesWith(const Timeline& timeline, const RuleOptions& options, std::span<const RuleCheck> checks) {
    RuleEvaluation evaluation;
    evaluation.context = buildRuleContext(timeline, options);
    const RuleCheckInput input{timeline, evaluation.context, options};
    for (RuleCheck check : checks) check(input, evaluation.violations);
    sortViolations(evaluation.violations);
    return evaluation;
}

RuleEvaluation evaluateRules(const Timeline& timeline, const RuleOptions& options) {
    return evaluateRulesWith(timeline, options, kStrictChecks);
}

}  // namespace ddd
