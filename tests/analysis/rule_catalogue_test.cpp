#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "analysis/rule_engine.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

// The rule texts and limits are checked where the report shows them and where each rule's
// findings are checked; here, that the two tables agree and that a finding takes its flags.
TEST(ViolationCodes, RulesAndFlags) {
    std::set<std::string_view> rules;
    for (const auto& r : ruleCatalogue()) {
        EXPECT_FALSE(r.regulation.empty() || r.article.empty()) << r.rule;
        EXPECT_TRUE(rules.insert(r.rule).second) << r.rule << " twice";
    }
    EXPECT_EQ(rules.size(), 11u);
    EXPECT_EQ(ruleInfo(RuleId::NightWork).rule, "eu.2002_15.night_work");
    using C = ViolationCode;
    struct Case { ViolationCode code; RuleId rule; std::int32_t limitIsMinimum, countValued; };
    const Case cases[] = {
        {C::DailyDriving, RuleId::DailyDriving, 0, 0},          {C::DailyDrivingExtended, RuleId::DailyDriving, 0, 0},
        {C::DrivingWithoutBreak, RuleId::Breaks, 0, 0},         {C::WeeklyDriving, RuleId::WeeklyDriving, 0, 0},
        {C::FortnightDriving, RuleId::FortnightDriving, 0, 0},  {C::ReducedDailyRestTooShort, RuleId::DailyRest, 1, 0},
        {C::RegularDailyRestTooShort, RuleId::DailyRest, 1, 0}, {C::SplitRestSecondPartShort, RuleId::DailyRest, 1, 0},
        {C::ReducedDailyRestCountExceeded, RuleId::DailyRestReducedCount, 0, 1},
        {C::WeeklyRestStartLate, RuleId::WeeklyRestStart, 0, 0},
        {C::SecondReducedWeeklyRestInPair, RuleId::WeeklyRestLength, 1, 0},
        {C::WeeklyWorkingTimeOver60h, RuleId::WeeklyWorkingTime, 0, 0},
        {C::SixHoursWorkWithoutBreak, RuleId::WorkingTimeBreaks, 0, 0},
        {C::WorkingTimeBreaksInsufficient, RuleId::WorkingTimeBreaks, 1, 0},
        {C::NightWorkDailyCap, RuleId::NightWork, 0, 0},
    };
    ASSERT_EQ(violationCodes().size(), std::size(cases));
    for (const auto& c : cases) {
        const LegalViolation v = makeLegalViolation(c.code, 1, 2, 3, 4);
        const RuleInfo& rule = ruleInfo(c.rule);
        EXPECT_EQ(v.code, violationCodeInfo(c.code).code);
        EXPECT_EQ(std::tie(v.rule, v.regulation, v.article), std::tie(rule.rule, rule.regulation, rule.article)) << v.code;
        EXPECT_EQ(std::pair(v.limitIsMinimum, v.countValued), std::pair(c.limitIsMinimum, c.countValued)) << v.code;
        EXPECT_EQ(v.limit, violationCodeInfo(c.code).limit) << v.code;
        EXPECT_EQ((std::array<std::int64_t, 4>{v.value, v.start, v.end, v.when}), (std::array<std::int64_t, 4>{1, 2, 3, 4}));
    }
}

TEST(ViolationCodes, InfringementClassesAtTheirBounds) {
    struct Case { ViolationCode code; std::vector<std::pair<std::int64_t, std::string>> measures; };
    const Case cases[] = {
        {ViolationCode::DailyDriving, {{32401, "MI"}, {35999, "MI"}, {36000, "SI"}, {39600, "VSI"}, {48599, "VSI"}, {48600, "MSI"}}},
        {ViolationCode::DailyDrivingExtended, {{36001, "MI"}, {39600, "SI"}, {43200, "VSI"}, {54000, "MSI"}}},
        {ViolationCode::DrivingWithoutBreak, {{16201, "MI"}, {18000, "SI"}, {21599, "SI"}, {21600, "VSI"}, {99999, "VSI"}}},
        {ViolationCode::WeeklyDriving, {{201601, "MI"}, {216000, "SI"}, {234000, "VSI"}, {252000, "MSI"}}},
        {ViolationCode::FortnightDriving, {{324001, "MI"}, {360000, "SI"}, {378000, "VSI"}, {405000, "MSI"}}},
        {ViolationCode::ReducedDailyRestTooShort, {{32399, "MI"}, {28800, "MI"}, {28799, "SI"}, {25200, "SI"}, {25199, "VSI"}}},
        {ViolationCode::RegularDailyRestTooShort, {{36000, "MI"}, {35999, "SI"}, {30600, "SI"}, {30599, "VSI"}}},
        {ViolationCode::SplitRestSecondPartShort, {{28800, "MI"}, {25200, "SI"}, {0, "VSI"}}},
        {ViolationCode::ReducedDailyRestCountExceeded, {{4, "UNCLASSIFIED"}}},
        {ViolationCode::WeeklyRestStartLate, {{1, "MI"}, {10799, "MI"}, {10800, "SI"}, {43200, "VSI"}}},
        {ViolationCode::SecondReducedWeeklyRestInPair, {{151200, "MI"}, {151199, "SI"}, {129600, "SI"}, {108000, "VSI"}}},
        {ViolationCode::WeeklyWorkingTimeOver60h, {{300000, "UNCLASSIFIED"}}},
        {ViolationCode::NightWorkDailyCap, {{40000, "UNCLASSIFIED"}}},
    };
    for (const auto& c : cases) {
        const ViolationCodeInfo& info = violationCodeInfo(c.code);
        for (const auto& [measure, expected] : c.measures) {
            EXPECT_EQ(severityText(infringementClass(info, measure)), expected) << info.code << " at " << measure;
        }
    }
}

LegalViolation finding(std::string code, std::int64_t when, std::int64_t value = 0) {
    LegalViolation v;
    v.code = std::move(code);
    v.when = when;
    v.value = value;
    return v;
}

void firstCheck(const RuleCheckInput& input, std::vector<LegalViolation>& out) {
    out.push_back(finding("eu.561.daily_driving", 100, 1));
    out.push_back(finding("eu.561.daily_driving.extended", 100));
    out.push_back(finding("eu.561.weekly_driving.limit", 50));
    out.push_back(finding("eu.561.daily_rest.reduced_too_short", static_cast<std::int64_t>(input.context.restBlocks.size())));
}

void secondCheck(const RuleCheckInput&, std::vector<LegalViolation>& out) {
    out.push_back(finding("eu.561.breaks.driving_without_break", 100));
    out.push_back(finding("eu.561.daily_driving", 100, 2));
}

TEST(RuleEngine, SortsByInstantThenCodeKeepingCheckOrder) {
    const Timeline t = test::timeline(test::utcDay(2024, 3, 4), "rest 11:00 drive 4:00 rest 11:00");
    const RuleCheck checks[] = {firstCheck, secondCheck};
    const RuleEvaluation evaluation = evaluateRulesWith(t, RuleOptions{}, checks);
    std::vector<std::pair<std::string, std::int64_t>> order;
    for (const auto& v : evaluation.violations) order.push_back({v.code, v.value});
    const std::vector<std::pair<std::string, std::int64_t>> expected{
        {"eu.561.daily_rest.reduced_too_short", 0},
        {"eu.561.weekly_driving.limit", 0},
        {"eu.561.breaks.driving_without_break", 0},
        {"eu.561.daily_driving", 1},
        {"eu.561.daily_driving", 2},
        {"eu.561.daily_driving.extended", 0},
    };
    EXPECT_EQ(order, expected);
    EXPECT_EQ(evaluation.context.restBlocks.size(), 2u) << "the checks see the context";
}

TEST(RuleEngine, EmptyTimeline) {
    const RuleEvaluation evaluation = evaluateRules({}, RuleOptions{});
    EXPECT_TRUE(evaluation.violations.empty());
    EXPECT_TRUE(evaluation.context.restBlocks.empty());
    EXPECT_TRUE(evaluation.context.restPeriods.empty());
    EXPECT_TRUE(evaluation.context.dailyWorkPeriods.empty());
}

}  // namespace
}  // namespace ddd
