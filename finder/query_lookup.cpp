// The query lookup: sessions grouped by vehicle and by driver name, and ordered by start in
// blocks that know their latest end, so that a search by time skips whole blocks.
#include <algorithm>
#include <numeric>
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
        std::string vehicleKey = s.plate;
        vehicleKey.push_back('\0');
        vehicleKey += s.vin;
        auto [vehicle, newVehicle] = vehicleNumber.try_emplace(std::move(vehicleKey), lookup.vehicles.size());
        if (newVehicle) lookup.vehicles.push_back({normalisedPlate(s.plate), normalisedPlate(s.vin), asciiLower(s.vin), {}});
        lookup.vehicles[vehicle->second].sessions.push_back(i);
        lookup.vehicleOf[i] = vehicle->second;

        std::string name = asciiLower(displayName(s));
        auto [driver, newDriver] = driverNumber.try_emplace(name, lookup.drivers.size());
        if (newDriver) lookup.drivers.push_back({std::move(name), {}});
        lookup.drivers[driver->second].sessions.push_back(i);
        lookup.driverOf[i] = driver->second;
    }

    lookup.byStart.resize(sessions.size());
    std::iota(lookup.byStart.begin(), lookup.byStart.end(), 0u);
    std::stable_sort(lookup.byStart.begin(), lookup.byStart.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return sessions[a].start < sessions[b].start; });
    lookup.startOf.reserve(sessions.size());
    for (std::uint32_t i : lookup.byStart) lookup.startOf.push_back(sessions[i].start);
    for (std::size_t first = 0; first < lookup.byStart.size(); first += QueryLookup::kBlock) {
        const std::size_t last = std::min(first + QueryLookup::kBlock, lookup.byStart.size());
        std::int64_t latest = 0;
        for (std::size_t k = first; k < last; ++k) latest = std::max(latest, effectiveEnd(sessions[lookup.byStart[k]]));
        lookup.blockMaxEnd.push_back(latest);
    }
    return lookup;
}

}  // namespace ddd::finder
