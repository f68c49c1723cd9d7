// Writer of vehicle-unit downloads from a plain description, and of consistent fleets of card
// and vehicle-unit downloads whose true answer to "who drove which vehicle when" is known.
// Written without the decoder, so that each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/generator/card_description.h"
#include "tools/vu_generator/vu_description.h"

namespace ddd::gen {

// The complete download with the faults of `vu.inject` applied. Throws std::invalid_argument for
// a description that cannot be written (text not encodable, a VIN longer than 17 bytes, ...).
std::vector<std::uint8_t> writeVuDownload(const VuDescription& vu);

// One stay of a driver in a vehicle, as the fleet generator planned it.
struct FleetStay {
    int driver = 0;
    int vehicle = 0;
    int slot = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    int odometerStart = 0;
    int odometerEnd = 0;
};

struct FleetDriver {
    std::string surname;
    std::string firstNames;
    std::string cardNumber;  // 16 characters
};

struct FleetVehicle {
    std::string vin;
    std::string plate;
    std::uint8_t nation = 13;
    VuLayout layout = VuLayout::Gen2;  // of every download of the vehicle's unit
};

// A named download of the fleet, ready to be written into a folder tree.
struct FleetFile {
    std::string relativePath;
    std::vector<std::uint8_t> bytes;
};

struct Fleet {
    std::vector<FleetDriver> drivers;
    std::vector<FleetVehicle> vehicles;
    std::vector<FleetStay> stays;  // the truth, ordered by start
    std::vector<CardDescription> cards;  // every download of every driver card
    std::vector<VuDescription> vehicleUnits;  // every download of every vehicle unit
};

struct FleetPlan {
    int drivers = 6;
    int vehicles = 4;
    int days = 10;
    std::int64_t firstDay = 1709251200;  // 2024-03-01 00:00 UTC
    int cardDownloadsPerDriver = 2;  // downloads of overlapping, growing periods
    int vuDownloadsPerVehicle = 2;   // downloads of overlapping periods
    double coDriverShare = 0.2;  // share of shifts with a second driver in slot 1
    int speedMinutes = 60;  // detailed-speed records per speed block: the bulk of a VU file
    int firstGenerationVehicles = 0;  // vehicles 0 to n-1 carry a first-generation vehicle unit
};

// Drivers take vehicles day by day; shifts may run past midnight. Identical for identical arguments.
Fleet makeFleet(std::uint64_t seed, const FleetPlan& plan);

// All downloads of the fleet as files: cards under "cards/", vehicle units under "vehicles/".
std::vector<FleetFile> fleetFiles(const Fleet& fleet);

}  // namespace ddd::gen
