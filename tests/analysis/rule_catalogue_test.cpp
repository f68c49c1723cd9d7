#include <gtest/gtest.h>

#include "analysis/rule_engine.h"
#include "tests/analysis/test_support.h"

namespace ddd {
namespace {

TEST(RuleCatalogue, ElevenRulesWithTheirLegalSources) {
    const std::vector<std::array<std::string_view, 3>> expected{
        {"eu.561.daily_driving", "Regulation (EC) No 561/2006", "Art. 6(1)"},
        {"eu.561.breaks", "Regulation (EC) No 561/2006", "Art. 7"},
        {"eu.561.weekly_driving", "Regulation (EC) No 561/2006", "Art. 6(2)"},
        {"eu.561.fortnight_driving", "Regulation (EC) No 561/2006", "Art. 6(3)"},
        {"eu.561.daily_rest", "Regulation (EC) No 561/2006", "Art. 8(2)"},
        {"eu.561.daily_rest_reduced_count", "Regulation (EC) No 561/2006", "Art. 8(4)"},
        {"eu.561.weekly_rest_start", "Regulation (EC) No 561/2006", "Art. 8(6) subpara 2"},
        {"eu.561.weekly_rest_length", "Regulation (EC) No 561/2006", "Art. 8(6) subpara 1"},
        {"eu.2002_15.weekly_working_time", "Directive 2002/15/EC", "Art. 4(a)"},
        {"eu.2002_15.working_time_breaks", "Directive 2002/15/EC", "Art. 5"},
        {"eu.2002_15.night_work", "Directive 2002/15/EC", "Art. 7"},
    };
    const auto catalogue = ruleCatalogue();
    ASSERT_EQ(catalogue.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(catalogue[i].rule, expected[i][0]);
        EXPECT_EQ(catalogue[i].regulation, expected[i][1]) << expected[i][0];
        EXPECT_EQ(catalogue[i].article, expected[i][2]) << expected[i][0];
    }
    EXPECT_EQ(ruleInfo(RuleId::NightWork).rule, "eu.2002_15.night_work");
}

TEST(ViolationCodes, LimitsAndFlags) {
    struct Case {
        ViolationCode code;
        std::string_view text;
        std::string_view rule;
        std::int64_t limit;
        std::int32_t limitIsMinimum;
        std::int32_t countValued;
    };
    const Case cases[] = {
        {ViolationCode::DailyDriving, "eu.561.daily_driving", "eu.561.daily_driving", 32400, 0, 0},
        {ViolationCode::DailyDrivingExtended, "eu.561.daily_driving.extended", "eu.561.daily_driving", 36000, 0, 0},
        {ViolationCode::DrivingWithoutBreak, "eu.561.breaks.driving_without_break", "eu.561.breaks", 16200, 0, 0},
        {ViolationCode::WeeklyDriving, "eu.561.weekly_driving.limit", "eu.561.weekly_driving", 201600, 0, 0},
        {ViolationCode::FortnightDriving, "eu.561.fortnight_driving.limit", "eu.561.fortnight_driving", 324000, 0, 0},
        {ViolationCode::ReducedDailyRestTooShort, "eu.561.daily_rest.reduced_too_short", "eu.561.daily_rest", 32400, 1, 0},
        {ViolationCode::RegularDailyRestTooShort, "eu.561.daily_rest.regular_required_too_short", "eu.561.daily_rest",
         39600, 1, 0},
        {ViolationCode::SplitRestSecondPartShort, "eu.561.daily_rest.split_second_part_short", "eu.561.daily_rest", 32400,
         1, 0},
        {ViolationCode::ReducedDailyRestCountExceeded, "eu.561.daily_rest.reduced_count_exceeded",
         "eu.561.daily_rest_reduced_count", 3, 0, 1},
        {ViolationCode::WeeklyRestStartLate, "eu.561.weekly_rest.start_late", "eu.561.weekly_rest_start", 518400, 0, 0},
        {ViolationCode::SecondReducedWeeklyRestInPair, "eu.561.weekly_rest.second_reduced_in_pair",
         "eu.561.weekly_rest_length", 162000, 1, 0},
        {ViolationCode::WeeklyWorkingTimeOver60h, "eu.2002_15.weekly_working_time.over_60h",
         "eu.2002_15.weekly_working_time", 216000, 0, 0},
        {ViolationCode::SixHoursWorkWithoutBreak, "eu.2002_15.breaks.six_hours_consecutive",
         "eu.2002_15.working_time_breaks", 21600, 0, 0},
        {ViolationCode::WorkingTimeBreaksInsufficient, "eu.2002_15.breaks.total_insufficient",
         "eu.2002_15.working_time_breaks", 1800, 1, 0},
        {ViolationCode::NightWorkDailyCap, "eu.2002_15.night_work.daily_cap", "eu.2002_15.night_work", 36000, 0, 0},
    };
    ASSERT_EQ(violationCodes().size(), std::size(cases));
    for (const auto& c : cases) {
        const LegalViolation v = makeLegalViolation(c.code, 1, 2, 3, 4);
        EXPECT_EQ(v.code, c.text);
        EXPECT_EQ(v.rule, c.rule) << c.text;
        EXPECT_EQ(v.limit, c.limit) << c.text;
        EXPECT_EQ(v.limitIsMinimum, c.limitIsMinimum) << c.text;
        EXPECT_EQ(v.countValued, c.countValued) << c.text;
        EXPECT_EQ(v.regulation, ruleInfo(violationCodeInfo(c.code).rule).regulation) << c.text;
        EXPECT_EQ(v.article, ruleInfo(violationCodeInfo(c.code).rule).article) << c.text;
        EXPECT_EQ((std::array<std::int64_t, 4>{v.value, v.start, v.end, v.when}), (std::array<std::int64_t, 4>{1, 2, 3, 4}));
    }
}

TEST(ViolationCodes, InfringementClassesAtTheirBounds) {
    struct Case {
        ViolationCode code;
        std::vector<std::pair<std::int64_t, std::string>> measures;
    };
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

TEST(Severity, Texts) {
    const std::pair<std::int32_t, std::string> cases[] = {
        {0, "UNCLASSIFIED"}, {1, "MI"}, {2, "SI"}, {3, "VSI"}, {4, "MSI"}, {5, "UNCLASSIFIED"}, {-1, "UNCLASSIFIED"}};
    for (const auto& [severity, text] : cases) EXPECT_EQ(severityText(severity), text) << severity;
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
