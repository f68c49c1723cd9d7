// The rule catalogue and the violation codes of the strict evaluation. Limits are those of
// Regulation (EC) No 561/2006 and Directive 2002/15/EC; class bounds those of Commission
// Regulation (EU) 2016/403, Annex I.
#include "analysis/regulation_limits.h"
#include "analysis/rule_catalogue.h"

namespace ddd {
namespace {

constexpr std::array<RuleInfo, 11> kRules{{
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
}};

constexpr std::int64_t kHour = 3600;

// Art. 6(1): daily driving 9 h, extendable to 10 h twice a week.
constexpr std::int64_t kMaxDailyDriving = 9 * kHour;
constexpr std::int64_t kMaxExtendedDailyDriving = 10 * kHour;
// Art. 7: a break of 45 min after 4 h 30 min of driving.
constexpr std::int64_t kMaxDrivingWithoutBreak = 16200;
// Art. 6(2) and 6(3): 56 h a week, 90 h in two consecutive weeks.
constexpr std::int64_t kMaxWeeklyDriving = 56 * kHour;
constexpr std::int64_t kMaxFortnightDriving = 90 * kHour;
// Art. 8(4): at most three reduced daily rests between two weekly rests.
constexpr std::int64_t kMaxReducedDailyRests = 3;
// Art. 8(6): a weekly rest no later than the end of six 24 h periods after the previous one;
// a regular weekly rest lasts 45 h.
constexpr std::int64_t kMaxWeeklyRestInterval = 6 * 24 * kHour;
// Directive 2002/15/EC Art. 4(a): 60 h of working time in a week.
constexpr std::int64_t kMaxWeeklyWorkingTime = 60 * kHour;
// Directive 2002/15/EC Art. 5: no more than 6 h of work without a break; 30 min of breaks.
constexpr std::int64_t kMaxWorkWithoutBreak = 6 * kHour;
constexpr std::int64_t kMinWorkingTimeBreaks = 1800;
// Directive 2002/15/EC Art. 7: 10 h of working time in a day with night work.
constexpr std::int64_t kMaxNightWorkDay = 10 * kHour;

constexpr std::array<ViolationCodeInfo, 15> kCodes{{
    {"eu.561.daily_driving", RuleId::DailyDriving, kMaxDailyDriving, 0, 0, {36000, 39600, 48600}, 3},
    {"eu.561.daily_driving.extended", RuleId::DailyDriving, kMaxExtendedDailyDriving, 0, 0, {39600, 43200, 54000}, 3},
    {"eu.561.breaks.driving_without_break", RuleId::Breaks, kMaxDrivingWithoutBreak, 0, 0, {18000, 21600, 0}, 2},
    {"eu.561.weekly_driving.limit", RuleId::WeeklyDriving, kMaxWeeklyDriving, 0, 0, {216000, 234000, 252000}, 3},
    {"eu.561.fortnight_driving.limit", RuleId::FortnightDriving, kMaxFortnightDriving, 0, 0,
     {360000, 378000, 405000}, 3},
    {"eu.561.daily_rest.reduced_too_short", RuleId::DailyRest, kReducedDailyRest, 1, 0, {28800, 25200, 0}, 2},
    {"eu.561.daily_rest.regular_required_too_short", RuleId::DailyRest, kRegularDailyRest, 1, 0,
     {36000, 30600, 0}, 2},
    {"eu.561.daily_rest.split_second_part_short", RuleId::DailyRest, kReducedDailyRest, 1, 0, {28800, 25200, 0}, 2},
    {"eu.561.daily_rest.reduced_count_exceeded", RuleId::DailyRestReducedCount, kMaxReducedDailyRests, 0, 1,
     {0, 0, 0}, 0},
    {"eu.561.weekly_rest.start_late", RuleId::WeeklyRestStart, kMaxWeeklyRestInterval, 0, 0, {10800, 43200, 0}, 2},
    {"eu.561.weekly_rest.second_reduced_in_pair", RuleId::WeeklyRestLength, kRegularWeeklyRest, 1, 0,
     {151200, 129600, 0}, 2},
    {"eu.2002_15.weekly_working_time.over_60h", RuleId::WeeklyWorkingTime, kMaxWeeklyWorkingTime, 0, 0, {0, 0, 0}, 0},
    {"eu.2002_15.breaks.six_hours_consecutive", RuleId::WorkingTimeBreaks, kMaxWorkWithoutBreak, 0, 0, {0, 0, 0}, 0},
    {"eu.2002_15.breaks.total_insufficient", RuleId::WorkingTimeBreaks, kMinWorkingTimeBreaks, 1, 0, {0, 0, 0}, 0},
    {"eu.2002_15.night_work.daily_cap", RuleId::NightWork, kMaxNightWorkDay, 0, 0, {0, 0, 0}, 0},
}};

}  // namespace

std::span<const RuleInfo> ruleCatalogue() { return kRules; }

const RuleInfo& ruleInfo(RuleId id) { return kRules[static_cast<std::size_t>(id)]; }

std::string severityText(std::int32_t severity) {
    switch (severity) {
        case kMinorInfringement: return "MI";
        case kSeriousInfringement: return "SI";
        case kVerySeriousInfringement: return "VSI";
        case kMostSeriousInfringement: return "MSI";
        default: return "UNCLASSIFIED";
    }
}

std::span<const ViolationCodeInfo> violationCodes() { return kCodes; }

const ViolationCodeInfo& violationCodeInfo(ViolationCode code) { return kCodes[static_cast<std::size_t>(code)]; }

std::int32_t infringementClass(const ViolationCodeInfo& info, std::int64_t measure) {
    if (info.classBoundCount == 0) return kUnclassified;
    for (std::size_t i = 0; i < info.classBoundCount; ++i) {
        const bool within = info.limitIsMinimum ? measure >= info.classBounds[i] : measure < info.classBounds[i];
        if (within) return static_cast<std::int32_t>(kMinorInfringement + i);
    }
    return static_cast<std::int32_t>(kMinorInfringement + info.classBoundCount);
}

LegalViolation makeLegalViolation(ViolationCode code, std::int64_t value, std::int64_t start, std::int64_t end,
                                  std::int64_t when) {
    const ViolationCodeInfo& info = violationCodeInfo(code);
    const RuleInfo& rule = ruleInfo(info.rule);
    LegalViolation v;
    v.code = info.code;
    v.rule = rule.rule;
    v.regulation = rule.regulation;
    v.article = rule.article;
    v.severity = infringementClass(info, value);
    v.limitIsMinimum = info.limitIsMinimum;
    v.countValued = info.countValued;
    v.value = value;
    v.limit = info.limit;
    v.start = start;
    v.end = end;
    v.when = when;
    return v;
}

}  // namespace ddd
