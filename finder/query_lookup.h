// Lookup structures over an index's sessions that let a query visit only the sessions of the
// vehicles or drivers it names, or of the time it asks about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "finder/driver_index.h"

namespace ddd::finder {

// Plate or VIN for the plate test: blanks and '-' removed, ASCII upper case.
std::string normalisedPlate(std::string_view text);
std::string asciiLower(std::string_view text);

// `end` when set, else ten years after a known start: an open session may still be running.
std::int64_t effectiveEnd(const FinderSession& session);

struct QueryLookup {
    struct Vehicle {
        std::string plate;     // normalised
        std::string vinUpper;  // normalised like a plate
        std::string vinLower;
        std::vector<std::uint32_t> sessions;
    };
    struct Driver {
        std::string nameLower;
        std::vector<std::uint32_t> sessions;
    };
    static constexpr std::size_t kBlock = 64;

    std::size_t sessionCount = 0;
    std::vector<Vehicle> vehicles;
    std::vector<Driver> drivers;
    std::vector<std::uint32_t> vehicleOf;
    std::vector<std::uint32_t> driverOf;
    std::vector<std::uint32_t> byStart;      // session numbers ordered by start
    std::vector<std::int64_t> startOf;       // start of byStart[i]
    std::vector<std::int64_t> blockMaxEnd;   // largest effective end per kBlock entries of byStart
};

QueryLookup buildQueryLookup(const std::vector<FinderSession>& sessions);

}  // namespace ddd::finder
