// The query lookup: sessions grouped by vehicle and by driver name, and ordered by start in
// blocks that know their latest end, so that a search by time skips whole blocks.
#include <algorithm>
#include <unordered_map>

#include "finder/query_lookup.h"

namespace ddd::finder {

namespace {
constexpr std::int64_t kOpenSessionSpan = 315360000;  // ten years of 365 days
}

std::string normalisedPlate(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == ' ' || c == '-' || c == '\t') continue;
        out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    }
    return out;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

std::int64_t effectiveEnd(const FinderSession& session) {
    if (session.end >= 1) return session.end;
    return session.start > 0 ? session.start + kOpenSessionSpan : 0;
}

QueryLookup buildQueryLookup(const std::vector<FinderSession>& sessions) {
    QueryLookup lookup;
    lookup.sessionCount = sessions.size();
    lookup.vehicleOf.resize(sessions.size());
    lookup.driverOf.resize(sessions.size());
    std::unordered_map<std::string, std::uint32_t> vehicleNumber;
    std::unordered_map<std::string, std::uint32_t> driverNumber;
    for (std::uint32_t i = 0; i < sessions.size(); ++i) {
        const FinderSession& s = sessions[i];
        // A download's sessions follow each other and mostly share their vehicle or driver.
        const FinderSession* before = i > 0 ? &sessions[i - 1] : nullptr;
        if (before && before->plate == s.plate && before->vin == s.vin) {
            lookup.vehicleOf[i] = lookup.vehicleOf[i - 1];
        } else {
            std::string vehicleKey = s.plate;
            vehicleKey.push_back('\0');
            vehicleKey += s.vin;
            auto [vehicle, newVehicle] = vehicleNumber.try_emplace(std::move(vehicleKey), lookup.vehicles.size());
            if (newVehicle) lookup.vehicles.push_back({normalisedPlate(s.plate), normalisedPlate(s.vin), asciiLower(s.vin), {}});
            lookup.vehicleOf[i] = vehicle->second;
        }
        lookup.vehicles[lookup.vehicleOf[i]].sessions.push_back(i);

        if (before && before->firstNames == s.firstNames && before->surname == s.surname) {
            lookup.driverOf[i] = lookup.driverOf[i - 1];
        } else {
            std::string name = asciiLower(displayName(s));
            auto [driver, newDriver] = driverNumber.try_emplace(name, lookup.drivers.size());
            if (newDriver) lookup.drivers.push_back({std::move(name), {}});
            lookup.driverOf[i] = driver->second;
        }
        lookup.drivers[lookup.driverOf[i]].sessions.push_back(i);
    }

    // Sorting the starts with their numbers keeps the sort within one array.
    std::vector<std::pair<std::int64_t, std::uint32_t>> starts(sessions.size());
    for (std::uint32_t i = 0; i < sessions.size(); ++i) starts[i] = {sessions[i].start, i};
    std::sort(starts.begin(), starts.end());
    lookup.byStart.reserve(sessions.size());
    for (const auto& start : starts) lookup.byStart.push_back(start.second);
    lookup.startOf.reserve(sessions.size());
    for (const auto& start : starts) lookup.startOf.push_back(start.first);
    for (std::size_t first = 0; first < lookup.byStart.size(); first += QueryLookup::kBlock) {
        const std::size_t last = std::min(first + QueryLookup::kBlock, lookup.byStart.size());
        std::int64_t latest = 0;
        for (std::size_t k = first; k < last; ++k) latest = std::max(latest, effectiveEnd(sessions[lookup.byStart[k]]));
        lookup.blockMaxEnd.push_back(latest);
    }
    return lookup;
}

}  // namespace ddd::finder
