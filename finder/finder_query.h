// Searches of the driver index by vehicle, driver, VIN, day and hours, and the JSON answers of
// the finder page: search results, pick-lists of drivers and vehicles.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "finder/driver_index.h"

namespace ddd::finder {

struct FinderQuery {
    std::string plate;
    std::string name;
    std::string vin;
    bool timed = false;  // a calendar day was given
    std::int64_t windowStart = 0;  // the searched window [windowStart, windowEnd), UTC seconds
    std::int64_t windowEnd = 0;
    unsigned limit = 500;  // rows returned at most
    std::string error;  // German; set when the day or the hours cannot be a search window
};

struct FinderMatch {
    FinderSession session;
    bool timeExact = false;  // the session covers the first instant of the window
};

// Reads the page's flat JSON object; unreadable or missing values keep their defaults.
FinderQuery parseFinderQuery(std::string_view json);

// All matches, best first.
std::vector<FinderMatch> query(const DriverIndex& index, const FinderQuery& query);

// The same search without the index's lookup: every session tested in turn.
std::vector<FinderMatch> queryByFullPass(const DriverIndex& index, const FinderQuery& query);

// Matches ordered best first but copied only up to the query's limit; `count` receives all.
std::vector<FinderMatch> firstMatches(const DriverIndex& index, const FinderQuery& query, std::size_t& count);

std::string queryJson(const DriverIndex& index, std::string_view queryText);
std::string optionsJson(const DriverIndex& index);

// The km shown for a session: the reading at its start, else the one at its end.
std::int64_t shownOdometer(const FinderSession& session);

}  // namespace ddd::finder
