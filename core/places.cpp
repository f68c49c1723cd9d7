// Places (0x0506): newest-record pointer 1 (Gen1) or 2 (Gen2), then N records of 10 or 21 bytes:
//   entryTime 4 | entryType 1 | country 1 | region 1 | odometer 3 |
//   Gen2 only: GNSS time 4 | accuracy 1 | latitude 3 (signed) | longitude 3 (signed)
#include "core/card_efs.h"
#include "core/cyclic_records.h"

namespace ddd {
namespace {

PlaceRecord readPlace(ByteReader& r, bool isGen2) {
    PlaceRecord place;
    place.entryTime = r.u32();
    place.entryType = r.u8();
    place.country = r.u8();
    place.region = r.u8();
    place.odometer = r.u24();
    if (isGen2) {
        place.hasGnss = true;
        place.gnssTime = r.u32();
        place.gnssAccuracy = r.u8();
        place.latitude = r.s24();
        place.longitude = r.s24();
    }
    return place;
}

}  // namespace

Decoded<std::vector<PlaceRecord>> decodePlaces(Bytes value, bool isGen2) {
    const std::size_t pointerSize = isGen2 ? 2 : 1;
    const std::size_t recordSize = isGen2 ? 21 : 10;
    if (!cyclic::fitsRecords(value.size(), pointerSize, recordSize)) {
        return DecodeError{0, cyclic::sizeMessage("Places", value.size(), pointerSize, recordSize)};
    }
    const std::size_t count = (value.size() - pointerSize) / recordSize;
    ByteReader r(value);
    const std::size_t newest = isGen2 ? r.u16() : r.u8();
    if (count >= 1 && newest >= count) {
        return DecodeError{0, "EF Places: newest pointer " + std::to_string(newest) + " out of range (N=" +
                                  std::to_string(count) + ")"};
    }
    std::vector<PlaceRecord> slots;
    slots.reserve(count);
    for (std::size_t i = 0; i < count; ++i) slots.push_back(readPlace(r, isGen2));
    if (r.failed()) return DecodeError{r.position(), "EF Places: truncated"};
    return cyclic::chronological(slots, newest, [](const PlaceRecord& p) { return isEmptyTime(p.entryTime); });
}

}  // namespace ddd
