// Vehicles_Used (0x0505): newest-record pointer 2, then N records of 31 (Gen1) or 48 (Gen2) bytes:
//   odometer begin 3, odometer end 3, first use 4, last use 4, registration 15,
//   VU data block counter 2 (BCD), Gen2 only: VIN 17.
// Records go round the slots from slot 0; unused slots are zero.

#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"

namespace ddd::gen {
namespace {

Bytes vehicleRecord(const VehicleUse& v, bool gen2) {
    ByteWriter w;
    w.u24(static_cast<std::uint64_t>(v.odometerBegin));
    w.u24(static_cast<std::uint64_t>(v.odometerEnd));
    w.time(v.firstUse);
    w.time(v.lastUse);
    writeRegistration(w, v.registration);
    w.bcd(static_cast<std::uint64_t>(v.vuDataBlockCounter), 2);
    if (gen2) writePadded(w, v.vin, 17, 0x20);
    return w.take();
}

} // namespace

void leaveInVehicle(CardDescription& card, std::int64_t downloadedAt) {
    card.lastCardDownload = downloadedAt;
    if (card.vehicles.empty()) return;
    VehicleUse& current = card.vehicles.back();
    current.lastUse = 0xFFFFFFFF;
    current.odometerEnd = 0xFFFFFF;
    card.currentUsage = CurrentUsage{current.firstUse, current.registration};
}

Bytes encodeVehiclesUsed(const std::vector<VehicleUse>& vehicles, int slots, bool gen2) {
    const std::size_t recordSize = gen2 ? 48 : 31;
    std::vector<Bytes> slotBytes(static_cast<std::size_t>(slots), Bytes(recordSize, 0));
    int newest = 0;
    for (std::size_t i = 0; slots > 0 && i < vehicles.size(); ++i) {
        newest = cyclicSlot(i, slots);
        slotBytes[static_cast<std::size_t>(newest)] = vehicleRecord(vehicles[i], gen2);
    }
    ByteWriter w;
    w.u16(static_cast<std::uint64_t>(newest));
    for (const Bytes& b : slotBytes) w.bytes(b);
    return w.take();
}

} // namespace ddd::gen
