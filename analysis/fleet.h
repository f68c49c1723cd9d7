// The fleet at a glance: every driver and vehicle of the archive with the deadlines a dispatcher
// watches (card expiry, card and unit downloads, calibration) and what the last weeks held
// (findings by class, days without data, driving without a card), dated against one instant.
// Pure: the facts come from the archive index and what was computed for it in the background.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_result.h"
#include "analysis/vehicle.h"

namespace ddd {

// A driver card is downloaded at least every 28 days; warned of a week ahead.
inline constexpr int kCardDownloadIntervalDays = 28;
inline constexpr int kCardDownloadSoonDays = 7;
// A card's expiry is warned of 60 days ahead, so that the renewal arrives in time.
inline constexpr int kCardExpirySoonDays = 60;
// The weeks the overview looks back on.
inline constexpr int kFleetFindingDays = 28;
inline constexpr int kFleetNoCardDays = 90;

// What the analysis of all of a driver's downloads left for the overview, kept between runs.
struct DriverFindingFacts {
    std::string problem;  // why the analysis refused; then nothing else is known
    std::vector<std::pair<std::int64_t, std::int32_t>> findings;  // instant and infringement class
    std::vector<std::pair<std::int64_t, std::int64_t>> dataDays;  // runs [first, last] of local day numbers with data
    bool operator==(const DriverFindingFacts&) const = default;
};
DriverFindingFacts driverFindingFactsOf(const AnalysisResult& result);

// What the merged downloads of one vehicle left for the overview, kept between runs.
struct VehicleFleetFacts {
    std::optional<std::int64_t> calibrationDue;  // 00:00 UTC
    std::optional<std::int64_t> lastDownload;    // the unit's own record included
    std::vector<std::pair<std::int64_t, std::int64_t>> noCard;  // [begin, end) of driving without a card
    bool operator==(const VehicleFleetFacts&) const = default;
};
VehicleFleetFacts vehicleFleetFactsOf(const VehicleModel& model);

struct FleetDriverInput {
    int nation = 0;
    std::string driver;      // the first 14 characters of the card number
    std::string cardNumber;  // of the newest download
    std::string name;
    std::string path;        // the newest download, to open the driver's analysis with
    std::int64_t cardExpiry = 0;
    std::optional<std::int64_t> lastDownload;
    int signatureProblems = 0;  // downloads whose signature is invalid or whose data is damaged
    std::optional<DriverFindingFacts> facts;  // absent until computed for the present downloads
};

struct FleetVehicleInput {
    std::string vin;
    std::string plate;
    int nation = 0;
    std::string path;  // the newest download, to open the vehicle view with
    std::optional<std::int64_t> lastDownload;
    std::optional<VehicleFleetFacts> facts;
};

// Counts by infringement class, most serious first: MSI, VSI, SI, MI.
using FindingCounts = std::array<int, 4>;

struct FleetDriver {
    FleetDriverInput input;
    DueDate expiry;
    DueDate downloadDue;
    std::optional<int> daysWithoutData;  // absent until the analysis ran or when it refused
    std::optional<FindingCounts> findings;
};

struct FleetVehicle {
    FleetVehicleInput input;
    std::optional<std::int64_t> lastDownload;  // the newest of the archive's and the unit's own record
    DueDate downloadDue;
    DueDate calibrationDue;
    std::optional<std::int64_t> noCardMinutes;  // absent until computed
};

struct FleetOverview {
    std::vector<FleetDriver> drivers;    // by name, then card
    std::vector<FleetVehicle> vehicles;  // by registration, then VIN
    int red = 0;    // deadlines passed: expired cards, overdue downloads and calibrations
    int amber = 0;  // deadlines near
    int pending = 0;  // drivers and vehicles whose background facts are not computed yet
};

FleetOverview buildFleetOverview(std::vector<FleetDriverInput> drivers, std::vector<FleetVehicleInput> vehicles,
                                 std::int64_t nowUtc);

}  // namespace ddd
