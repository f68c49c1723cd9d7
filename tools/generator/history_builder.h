// Records shifts into a card description: the timeline blocks, the vehicle-use record and the
// begin and end places of each shift, keeping vehicle odometers consistent. Shared by the random
// history and the demo driver.
#pragma once

#include "tools/generator/card_generator.h"

#include <string_view>
#include <vector>

namespace ddd::gen {

class HistoryBuilder {
public:
    HistoryBuilder(CardDescription& card, std::int64_t start) : card_(card), timeline_(start) {}

    int addVehicle(Registration registration, int odometer, std::string vin);
    // A shift in `vehicle` starting now: the card is inserted, `blocks` are worked (timeline
    // syntax), the places are the begin and end countries.
    void shift(int vehicle, std::string_view blocks, std::uint8_t beginCountry, std::uint8_t endCountry);
    Timeline& timeline() { return timeline_; }
    // Writes the days into the card, presence counters starting at `firstPresenceCounter`.
    void finish(int firstPresenceCounter);

private:
    struct Vehicle {
        Registration registration;
        int odometer;
        std::string vin;
        int blockCounter;
    };
    CardDescription& card_;
    Timeline timeline_;
    std::vector<Vehicle> vehicles_;
};

} // namespace ddd::gen
