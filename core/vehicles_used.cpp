// Vehicles_Used (0x0505): newest-record pointer 2, then N records of 31 bytes (Gen1) or 48 (Gen2):
//   odometerBegin 3 | odometerEnd 3 | firstUse 4 | lastUse 4 | registration 15 |
//   VU data block counter (BCD) 2 | Gen2 only: VIN 17
#include "core/card_efs.h"
#include "core/cyclic_records.h"

namespace ddd {
namespace {

constexpr std::size_t kGen1RecordSize = 31;
constexpr std::size_t kGen2RecordSize = 48;

std::string vinText(Bytes raw) {
    std::string vin;
    for (std::uint8_t b : raw) {
        if ((b >= 0x21 && b <= 0x7E) || b >= 0xA0) vin.push_back(static_cast<char>(b));
    }
    return vin;
}

CardVehicleRecord readVehicle(ByteReader& r, bool isGen2) {
    CardVehicleRecord vehicle;
    vehicle.odometerBegin = r.u24();
    vehicle.odometerEnd = r.u24();
    vehicle.firstUse = r.u32();
    vehicle.lastUse = r.u32();
    vehicle.registration = readRegistration(r);
    if (auto counter = bcdValue(r.bytes(2)); counter && !r.failed()) {
        vehicle.vuDataBlockCounter = static_cast<std::uint32_t>(*counter);
        vehicle.hasVuDataBlockCounter = true;
    }
    if (isGen2) vehicle.vin = vinText(r.bytes(17));
    return vehicle;
}

}  // namespace

Decoded<VehiclesUsed> decodeVehiclesUsed(Bytes value, bool isGen2) {
    const std::size_t recordSize = isGen2 ? kGen2RecordSize : kGen1RecordSize;
    if (!cyclic::fitsRecords(value.size(), 2, recordSize)) {
        return DecodeError{0, cyclic::sizeMessage("Vehicles_Used", value.size(), 2, recordSize)};
    }
    const std::size_t count = (value.size() - 2) / recordSize;
    ByteReader r(value);
    VehiclesUsed vehicles;
    vehicles.newestPointer = r.u16();
    if (count >= 1 && vehicles.newestPointer >= count) {
        return DecodeError{0, "EF Vehicles_Used: newest pointer " + std::to_string(vehicles.newestPointer) +
                                  " out of range (N=" + std::to_string(count) + ")"};
    }
    vehicles.slots.reserve(count);
    for (std::size_t i = 0; i < count; ++i) vehicles.slots.push_back(readVehicle(r, isGen2));
    if (r.failed()) return DecodeError{r.position(), "EF Vehicles_Used: truncated"};
    vehicles.chronological = cyclic::chronological(vehicles.slots, vehicles.newestPointer, [](const auto& v) {
        return isEmptyTime(v.firstUse) && isEmptyTime(v.lastUse);
    });
    return vehicles;
}

}  // namespace ddd
