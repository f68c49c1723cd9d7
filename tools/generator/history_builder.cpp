#include "tools/generator/history_builder.h"

namespace ddd::gen {
namespace {

struct Position {
    int latitude;
    int longitude;
};

// A main city of the country, as GNSS coordinates (degrees and minutes times ten, +DDMM.M).
Position cityOf(std::uint8_t country) {
    switch (country) {
    case 1: return {48120, 16220};  // Wien
    case 6: return {50510, 4210};   // Bruxelles
    case 12: return {50050, 14250}; // Praha
    case 13: return {50070, 8410};  // Frankfurt am Main
    case 17: return {48510, 2210};  // Paris
    case 26: return {45280, 9110};  // Milano
    case 38: return {52220, 4540};  // Amsterdam
    case 40: return {52240, 16550}; // Poznan
    default: return {0, 0};
    }
}

} // namespace

int HistoryBuilder::addVehicle(Registration registration, int odometer, std::string vin) {
    vehicles_.push_back({std::move(registration), odometer, std::move(vin), 0});
    return static_cast<int>(vehicles_.size()) - 1;
}

void HistoryBuilder::shift(int vehicle, std::string_view blocks, std::uint8_t beginCountry, std::uint8_t endCountry) {
    Vehicle& v = vehicles_.at(static_cast<std::size_t>(vehicle));
    const std::int64_t begin = timeline_.now();
    const std::size_t firstSegment = timeline_.segments().size();
    timeline_.add(blocks);
    const std::int64_t end = timeline_.now();
    std::int64_t drivingSeconds = 0;
    for (std::size_t i = firstSegment; i < timeline_.segments().size(); ++i) {
        const Segment& s = timeline_.segments()[i];
        if (s.activity == kDriving && !s.cardAbsent) drivingSeconds += s.end - s.begin;
    }
    const int odometerBegin = v.odometer;
    v.odometer += static_cast<int>(drivingSeconds * 70 / 3600);
    v.blockCounter = (v.blockCounter + 1) % 10000;
    card_.vehicles.push_back({odometerBegin, v.odometer, begin, end, v.registration, v.blockCounter, v.vin});
    const int gnssAccuracy = 5;
    const Position from = cityOf(beginCountry);
    const Position to = cityOf(endCountry);
    card_.places.push_back({begin, 0, beginCountry, 0, odometerBegin, begin, gnssAccuracy, from.latitude, from.longitude});
    card_.places.push_back({end, 1, endCountry, 0, v.odometer, end, gnssAccuracy, to.latitude, to.longitude});
}

void HistoryBuilder::finish(int firstPresenceCounter) { card_.days = timeline_.days(firstPresenceCounter); }

} // namespace ddd::gen
