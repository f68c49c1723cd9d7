#include "report/month_restriction.h"

#include <algorithm>
#include <cstdio>
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

std::int64_t civilDay(std::int64_t utcSeconds) {
    const CivilTime c = toCivilTime(utcSeconds);
    return daysFromCivil(c.year, c.month, c.day);
}

std::string dayText(std::int64_t day, bool longDate) {
    std::int32_t year = 0;
    std::uint32_t month = 0, dayOfMonth = 0;
    civilFromDays(day, year, month, dayOfMonth);
    char text[64];
    if (longDate) {
        std::snprintf(text, sizeof text, "%02u. %s %d", dayOfMonth, std::string(germanMonthName(month)).c_str(), year);
    } else {
        std::snprintf(text, sizeof text, "%02u.%02u.%04d", dayOfMonth, month, year);
    }
    return text;
}

}  // namespace

CoveredDays coveredDays(const Timeline& activities) {
    CoveredDays days;
    if (activities.empty()) return days;
    std::int64_t start = activities.front().start, end = activities.front().end;
    for (const auto& segment : activities) {
        start = std::min(start, segment.start);
        end = std::max({end, segment.end, segment.start + 1});
    }
    days.first = civilDay(start);
    days.last = civilDay(end - 1);
    return days;
}

CoveredDays coveredDaysInMonth(const CoveredDays& whole, const std::string& monthKey) {
    int year = 0;
    unsigned month = 0;
    if (isAllMonthsKey(monthKey) || std::sscanf(monthKey.c_str(), "%d/%u", &year, &month) != 2 || month < 1 || month > 12) {
        return whole;
    }
    const std::int64_t monthFirst = daysFromCivil(year, month, 1);
    const std::int64_t nextFirst = month == 12 ? daysFromCivil(year + 1, 1, 1) : daysFromCivil(year, month + 1, 1);
    return {std::max(whole.first, monthFirst), std::min(whole.last, nextFirst - 1)};
}

std::string periodText(const CoveredDays& days, bool longDates) {
    if (days.last < days.first) return "\xE2\x80\x93";
    const std::string first = dayText(days.first, longDates);
    return days.first == days.last ? first : first + " \xE2\x80\x93 " + dayText(days.last, longDates);
}

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
    month.borderCrossings =
        inMonth(result.borderCrossings, key, [](const BorderCrossingRecord& b) { return b.position.time; });
    month.loadOperations = inMonth(result.loadOperations, key, [](const LoadUnloadRecord& l) { return l.time; });
    month.countryDays = inMonth(result.countryDays, key, [](const CountryDay& d) { return d.day; });
    month.recordDiagnostics = result.recordDiagnostics;
    if (result.dataEnd != 0 && monthKeyOf(result.dataEnd) == key) month.dataEnd = result.dataEnd;
    return month;
}

}  // namespace ddd
