// Places (0x0506): newest-record pointer 1 (Gen1) or 2 (Gen2), then N records of 10 (Gen1) or
// 21 (Gen2) bytes: entry time 4, entry type 1, country 1, region 1, odometer 3,
// Gen2 only: GNSS time 4, accuracy 1, latitude 3, longitude 3 (signed 24-bit).
// Records go round the slots from slot 0; unused slots are zero.

#include "tools/generator/card_files.h"

namespace ddd::gen {
namespace {

Bytes placeRecord(const Place& p, bool gen2) {
    ByteWriter w;
    w.time(p.time);
    w.u8(static_cast<std::uint64_t>(p.entryType));
    w.u8(p.country);
    w.u8(p.region);
    w.u24(static_cast<std::uint64_t>(p.odometer));
    if (gen2) {
        w.time(p.gnssTime);
        w.u8(static_cast<std::uint64_t>(p.gnssAccuracy));
        w.u24(static_cast<std::uint32_t>(p.latitude) & 0xFFFFFF);
        w.u24(static_cast<std::uint32_t>(p.longitude) & 0xFFFFFF);
    }
    return w.take();
}

} // namespace

Bytes encodePlaces(const std::vector<Place>& places, int slots, bool gen2) {
    const std::size_t recordSize = gen2 ? 21 : 10;
    std::vector<Bytes> slotBytes(static_cast<std::size_t>(slots), Bytes(recordSize, 0));
    int newest = 0;
    for (std::size_t i = 0; slots > 0 && i < places.size(); ++i) {
        newest = cyclicSlot(i, slots);
        slotBytes[static_cast<std::size_t>(newest)] = placeRecord(places[i], gen2);
    }
    ByteWriter w;
    if (gen2) {
        w.u16(static_cast<std::uint64_t>(newest));
    } else {
        w.u8(static_cast<std::uint64_t>(newest));
    }
    for (const Bytes& b : slotBytes) w.bytes(b);
    return w.take();
}

} // namespace ddd::gen
