// Activities block of a vehicle-unit download: one downloaded day.
// Second generation (TREP 0x22, 0x32), record arrays:
//   0x06 date of the day 4 | 0x05 odometer at midnight 3 | 0x0D card insertions (vu_card_iw.cpp)
//   0x01 activity change words 2 | 0x1C places: card 19, entry time 4, entry type 1, country 1,
//     region 1, odometer 3, GNSS place 11 (version 2: 12, with its authentication status)
//   0x16 positions after 3 h of driving: time 4, driver card 19, co-driver card 19, GNSS place
//     11 (version 2: 12), odometer 3 | 0x09 specific conditions: time 4, type 1
//   version 2 only: 0x22 border crossings: driver card 19, co-driver card 19, country left 1,
//     country entered 1, GNSS place 12, odometer 3 | 0x23 load/unload: time 4, operation 1,
//     driver card 19, co-driver card 19, GNSS place 12, odometer 3 | 0x08 signature
// First generation (TREP 0x02), fixed structure, cards of 18 bytes, places without GNSS (28):
//   date 4 | odometer 3 | card insertions: count 2, records of 129 | activity changes: count 2,
//   words | places: count 1, records | specific conditions: count 2, records | signature 128
// A GNSS place: time 4, accuracy 1, latitude 3, longitude 3 (version 2: authenticated 1).
#include "core/vu_blocks.h"

namespace ddd::vu {

void decodeDateOfDay(ByteReader& r, VuGeneration, Sink& s) { s.day->date = r.u32(); }

void decodeOdometerMidnight(ByteReader& r, VuGeneration, Sink& s) { s.day->odometerMidnight = r.u24(); }

void decodeActivityChange(ByteReader& r, VuGeneration, Sink& s) { s.day->activityChanges.push_back(r.u16()); }

void decodePlace(ByteReader& r, VuGeneration g, Sink& s) {
    VuPlace place;
    place.card = card(r, g);
    place.entryTime = instant(r);
    place.entryType = r.u8();
    place.country = r.u8();
    place.region = r.u8();
    place.odometer = kilometres(r);
    if (g != VuGeneration::First) place.gnss = gnssPlace(r, g);
    s.day->places.push_back(std::move(place));
}

void decodeGnssAccumulatedDriving(ByteReader& r, VuGeneration g, Sink& s) {
    VuGnssAccumulatedDriving position;
    position.time = instant(r);
    position.driverCard = card(r, g);
    position.coDriverCard = card(r, g);
    position.place = gnssPlace(r, g);
    position.odometer = kilometres(r);
    s.day->gnssPositions.push_back(std::move(position));
}

void decodeSpecificCondition(ByteReader& r, VuGeneration, Sink& s) {
    VuSpecificCondition condition;
    condition.time = instant(r);
    condition.type = r.u8();
    s.day->specificConditions.push_back(condition);
}

void decodeBorderCrossing(ByteReader& r, VuGeneration g, Sink& s) {
    VuBorderCrossing crossing;
    crossing.driverCard = card(r, g);
    crossing.coDriverCard = card(r, g);
    crossing.countryLeft = r.u8();
    crossing.countryEntered = r.u8();
    crossing.place = gnssPlace(r, g);
    crossing.odometer = kilometres(r);
    s.day->borderCrossings.push_back(std::move(crossing));
}

void decodeLoadUnload(ByteReader& r, VuGeneration g, Sink& s) {
    VuLoadUnload operation;
    operation.time = instant(r);
    operation.operation = r.u8();
    operation.driverCard = card(r, g);
    operation.coDriverCard = card(r, g);
    operation.place = gnssPlace(r, g);
    operation.odometer = kilometres(r);
    s.day->loadUnloads.push_back(std::move(operation));
}

void readActivitiesGen1(FixedBlockReader& block) {
    block.record(kDateOfDay, "date of the day");
    block.record(kOdometerMidnight, "odometer at midnight");
    block.list(2, kCardIw, "card insertions");
    block.list(2, kActivityChange, "activity changes");
    block.list(1, kPlace, "places");
    block.list(2, kSpecificCondition, "specific conditions");
}

}  // namespace ddd::vu
