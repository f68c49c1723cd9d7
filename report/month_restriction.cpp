#include "report/month_restriction.h"

#include <algorithm>
#include <iterator>

#include "core/primitives.h"

namespace ddd {
namespace {

template <typename Record, typename Instant>
std::vector<Record> inMonth(const std::vector<Record>& records, const std::string& key, Instant instantOf) {
    std::vector<Record> kept;
    std::copy_if(records.begin(), records.end(), std::back_inserter(kept),
                 [&](const Record& r) { return monthKeyOf(instantOf(r)) == key; });
    return kept;
}

constexpr std::string_view kMonthNames[] = {"Januar", "Februar", "März",     "April",   "Mai",      "Juni",
                                           "Juli",   "August",  "September", "Oktober", "November", "Dezember"};

}  // namespace

std::string_view germanMonthName(std::uint32_t month) { return month >= 1 && month <= 12 ? kMonthNames[month - 1] : ""; }

std::string monthKeyOf(std::int64_t utcSeconds) {
    const CivilTime c = toCivilTime(utcSeconds);
    return formatMonthKey(c.year, c.month);
}

bool isAllMonthsKey(const std::string& monthKey) {
    return monthKey.empty() || monthKey == "all" || monthKey == "__all__";
}

AnalysisResult restrictToMonth(const AnalysisResult& result, const std::string& monthKey) {
    if (isAllMonthsKey(monthKey)) return result;
    AnalysisResult month;
    month.ok = result.ok;
    month.error = result.error;
    month.driver = result.driver;
    month.card = result.card;
    month.nation = result.nation;
    month.filesMerged = result.filesMerged;
    const std::string& key = monthKey;
    month.shifts = inMonth(result.shifts, key, [](const ShiftRecord& s) { return s.core.start; });
    month.violations = inMonth(result.violations, key, [](const ReferenceViolation& v) { return v.when; });
    month.forecasts = inMonth(result.forecasts, key, [](const Forecast& f) { return f.when; });
    month.activities = inMonth(result.activities, key, [](const ActivitySegment& a) { return a.start; });
    month.coverageGaps = inMonth(result.coverageGaps, key, [](const CoverageGap& g) { return g.begin; });
    month.vehicles = inMonth(result.vehicles, key, [](const CardVehicleRecord& v) {
        return isEmptyTime(v.lastUse) ? v.firstUse : v.lastUse;
    });
    month.countries = inMonth(result.countries, key, [](const PlaceRecord& p) { return p.entryTime; });
    month.events = inMonth(result.events, key, [](const EventFaultRecord& e) { return e.begin; });
    month.controls = inMonth(result.controls, key, [](const ControlActivity& c) { return c.controlTime; });
    month.specials = inMonth(result.specials, key, [](const SpecificConditionRecord& s) { return s.entryTime; });
    if (result.dataEnd != 0 && monthKeyOf(result.dataEnd) == key) month.dataEnd = result.dataEnd;
    return month;
}

}  // namespace ddd
