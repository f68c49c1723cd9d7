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

// A download that records a trip: 'C' a driver card, 'V' a vehicle unit.
struct MatchSource {
    char source = 'C';
    std::string file;
};

// One trip of one driver in one role. The driver card and the vehicle unit record the same trip
// each in their own way; both are one row, the card's span with the unit's role (the card does
// not know whether its holder drove or rode along).
struct FinderMatch {
    FinderSession session;   // the trip; `source` is 'C' or 'V' for a trip found in one download only
    bool timeExact = false;  // the trip covers the first instant of the window
    bool roleKnown = false;  // a vehicle unit recorded the slot
    std::vector<MatchSource> sources;  // every download recording the trip, the driver card first
    std::int64_t km = -1;    // the distance driven on the trip; -1 when the odometer readings do not tell
};

// Reads the page's flat JSON object; unreadable or missing values keep their defaults.
FinderQuery parseFinderQuery(std::string_view json);

// All matches, best first: one row per trip and role.
std::vector<FinderMatch> query(const DriverIndex& index, const FinderQuery& query);

// The same search without the index's lookup: every session tested in turn.
std::vector<FinderMatch> queryByFullPass(const DriverIndex& index, const FinderQuery& query);

// Matches ordered best first but copied only up to the query's limit; `count` receives all.
std::vector<FinderMatch> firstMatches(const DriverIndex& index, const FinderQuery& query, std::size_t& count);

std::string queryJson(const DriverIndex& index, std::string_view queryText);
std::string optionsJson(const DriverIndex& index);

// "Fahrer", "Beifahrer", or "unbekannt" where only the driver card tells of the trip.
std::string roleText(const FinderMatch& match);

// "Fahrerkarte", "Fahrzeugeinheit", or "Fahrerkarte + Fahrzeugeinheit".
std::string sourcesText(const FinderMatch& match);

}  // namespace ddd::finder
