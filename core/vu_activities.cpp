// Activities block of a vehicle-unit download: one downloaded day.
// Second generation (TREP 0x22, 0x32), record arrays used:
//   0x06 date of the day TimeReal | 0x05 odometer at midnight 3 | 0x01 activity changes (count)
//   0x0D card insertion/withdrawal records (vu_card_iw.cpp)
// First generation (TREP 0x02), fixed structure:
//   date of the day 4 | odometer at midnight 3
//   card insertions/withdrawals: count 2, records of 129 (vu_card_iw.cpp)
//   activity change words: count 2, words of 2 | places: count 1, records of 28
//   specific conditions: count 2, records of 5 | signature 128
#include "core/vu_blocks.h"

namespace ddd::vu {

void useActivitiesArray(const RecordArray& array, VuDayBlock& day) {
    ByteReader reader(array.data);
    switch (array.type) {
    case 0x06:
        day.date = timeIfFits(array.data);
        break;
    case 0x05:
        day.odometerMidnight = array.data.size() >= 3 ? reader.u24() : 0;
        break;
    case 0x01:
        day.activityChangeCount += array.count;
        break;
    case 0x0D:
        // Records of size 0 hold nothing; skipping them also keeps 65535 empty records from
        // being made out of a 5-byte header.
        if (array.size == 0) break;
        for (std::uint16_t i = 0; i < array.count; ++i) day.cardRecords.push_back(decodeVuCardIwRecordGen2(reader.bytes(array.size)));
        break;
    default:
        break;
    }
}

VuDayBlock readActivitiesGen1(FixedBlockReader& block) {
    VuDayBlock day;
    if (const Bytes date = block.field(4, "date of the day"); !date.empty()) day.date = numberOf(date);
    if (const Bytes km = block.field(3, "odometer at midnight"); !km.empty()) day.odometerMidnight = numberOf(km);
    if (const auto cards = block.records(2, kVuCardIwRecordSizeGen1, "card insertions")) {
        ByteReader reader(cards->data);
        for (std::uint32_t i = 0; i < cards->count; ++i) {
            day.cardRecords.push_back(decodeVuCardIwRecordGen1(reader.bytes(kVuCardIwRecordSizeGen1)));
        }
    }
    if (const auto changes = block.records(2, 2, "activity changes")) day.activityChangeCount = changes->count;
    block.records(1, 28, "places");
    block.records(2, 5, "specific conditions");
    block.field(128, "signature");
    return day;
}

}  // namespace ddd::vu
