#include "analysis/country_days.h"

#include <algorithm>

#include "analysis/local_time.h"

namespace ddd {
namespace {

// A change of country: `before` applies up to the instant, `after` from it on. A place is a
// mark whose two countries are the same.
struct Mark {
    std::int64_t time = 0;
    std::uint8_t before = 0;
    std::uint8_t after = 0;
};
using Marks = std::vector<Mark>;

Marks sortedMarks(Marks marks) {
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.time < b.time; });
    return marks;
}

Marks crossingMarks(const std::vector<BorderCrossingRecord>& crossings) {
    Marks marks;
    for (const auto& c : crossings) {
        if (!isEmptyTime(c.position.time)) marks.push_back({c.position.time, c.countryLeft, c.countryEntered});
    }
    return sortedMarks(std::move(marks));
}

Marks placeMarks(const std::vector<PlaceRecord>& places) {
    Marks marks;
    for (const auto& p : places) {
        if (!isEmptyTime(p.entryTime)) marks.push_back({p.entryTime, p.country, p.country});
    }
    return sortedMarks(std::move(marks));
}

Marks::const_iterator firstAfter(const Marks& marks, std::int64_t t) {
    return std::upper_bound(marks.begin(), marks.end(), t, [](std::int64_t v, const Mark& m) { return v < m.time; });
}

const Mark* latestAtOrBefore(const Marks& marks, std::int64_t t) {
    const auto it = firstAfter(marks, t);
    return it == marks.begin() ? nullptr : &*(it - 1);
}

bool anyWithin(const Marks& marks, std::int64_t begin, std::int64_t end) {
    const auto it = std::lower_bound(marks.begin(), marks.end(), begin,
                                     [](const Mark& m, std::int64_t v) { return m.time < v; });
    return it != marks.end() && it->time < end;
}

std::uint8_t countryAt(const Marks& marks, std::int64_t t) {
    const Mark* latest = latestAtOrBefore(marks, t);
    return latest ? latest->after : marks.front().before;
}

struct DaySource {
    const Marks* marks = nullptr;
    bool fromPlaces = false;
};

DaySource sourceOfDay(const Marks& crossings, const Marks& places, std::int64_t begin, std::int64_t end) {
    if (anyWithin(crossings, begin, end)) return {&crossings, false};
    if (anyWithin(places, begin, end)) return {&places, true};
    const Mark* crossing = latestAtOrBefore(crossings, begin);
    const Mark* place = latestAtOrBefore(places, begin);
    if (crossing && (!place || crossing->time >= place->time)) return {&crossings, false};
    if (place || crossings.empty()) return {&places, true};
    return {&crossings, false};
}

void addTime(CountryDay& day, std::uint8_t country, std::uint8_t activity, std::int64_t seconds) {
    auto it = std::find_if(day.countries.begin(), day.countries.end(), [&](const CountryTime& c) { return c.country == country; });
    if (it == day.countries.end()) it = day.countries.insert(day.countries.end(), CountryTime{country});
    if (activity == 3) it->driving += seconds;
    if (activity == 2) it->work += seconds;
    if (activity == 1) it->availability += seconds;
}

}  // namespace

std::vector<CountryDay> buildCountryDays(const Timeline& timeline, const std::vector<BorderCrossingRecord>& crossings,
                                         const std::vector<PlaceRecord>& places) {
    const Marks crossingList = crossingMarks(crossings);
    const Marks placeList = placeMarks(places);
    std::vector<CountryDay> days;
    if (crossingList.empty() && placeList.empty()) return days;
    DaySource source;
    for (const ActivitySegment& segment : timeline) {
        if (segment.type == kUnknownActivity) continue;
        for (std::int64_t t = segment.start; t < segment.end;) {
            const std::int64_t localDay = localDayNumber(t);
            const std::int64_t dayBegin = localMidnight(localDay);
            const std::int64_t dayEnd = localMidnight(localDay + 1);
            if (days.empty() || days.back().day != dayBegin) {
                source = sourceOfDay(crossingList, placeList, dayBegin, dayEnd);
                days.push_back(CountryDay{dayBegin, {}, source.fromPlaces});
            }
            std::int64_t pieceEnd = std::min(segment.end, dayEnd);
            if (const auto next = firstAfter(*source.marks, t); next != source.marks->end() && next->time < pieceEnd) {
                pieceEnd = next->time;
            }
            addTime(days.back(), countryAt(*source.marks, t), segment.type, pieceEnd - t);
            t = pieceEnd;
        }
    }
    return days;
}

}  // namespace ddd
