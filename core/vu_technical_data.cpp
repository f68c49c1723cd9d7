// Technical data block of a vehicle-unit download: the unit, its motion sensor and GNSS
// facility, the calibrations and (second generation) the cards it has seen.
// Second generation (TREP 0x25, 0x35), record arrays, cards of 19 bytes:
//   0x19 unit: manufacturer name 36, address 36, part number 16, serial 8, software version 4,
//     software installation 4, manufacturing date 4, approval number 16, generation 1,
//     ability 1 (version 2: digital map version 12)
//   0x20 paired motion sensors, 0x21 coupled GNSS facilities: serial 8, approval number 16, date 4
//   0x0C calibrations: purpose 1, workshop name 36, address 36, card 19, card expiry 4, VIN 17,
//     registration 15, w 2, k 2, l 2, tyre size 15, authorised speed 1, old and new odometer
//     3 + 3, old and new time 4 + 4, next calibration 4; version 1: seals 5 x 11; version 2:
//     sensor, GNSS and remote-communication serials 3 x 8, seals 5 x 11, default load type 1,
//     country 1, time of the position that gave the country 4
//   0x0E cards used: card 19, chip serial 8, structure version 2, card number 16
//   0x1F power supply interruptions (vu_events_faults.cpp) | 0x08 signature
// First generation (TREP 0x05), fixed structure: unit 116 (approval number 8, no generation)
//   | paired sensor: serial 8, approval number 8, first pairing 4 | calibrations: count 1,
//   records of 167 (card of 18 bytes, no seals) | signature 128
// A serial number: number 4, month and year of manufacture 2 (BCD), equipment type 1, maker 1.
// A seal: equipment type 1, maker 2, identifier 8.
#include <algorithm>
#include <cstdio>

#include "core/vu_blocks.h"

namespace ddd::vu {
namespace {

std::string hexText(Bytes bytes) {
    std::string out;
    char buffer[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", unsigned{b});
        out += buffer;
    }
    return out;
}

// Five seal slots; a slot the workshop left empty holds zeros or 0xFF.
std::vector<VuSeal> seals(ByteReader& r) {
    std::vector<VuSeal> out;
    for (int i = 0; i < 5; ++i) {
        VuSeal seal;
        seal.equipmentType = r.u8();
        seal.manufacturerCode = r.u16();
        seal.identifier = hexText(r.bytes(8));
        const bool empty = seal.equipmentType == 0 || seal.equipmentType == 0xFF;
        if (!r.failed() && !empty) out.push_back(std::move(seal));
    }
    return out;
}

// The serial of a device paired at a calibration; absent when none was (zeros or 0xFF).
std::optional<VuSerial> pairedSerial(ByteReader& r) {
    const Bytes raw = r.bytes(8);
    const bool none = std::all_of(raw.begin(), raw.end(), [](std::uint8_t b) { return b == 0x00; }) ||
                      std::all_of(raw.begin(), raw.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (raw.empty() || none) return std::nullopt;
    ByteReader reader(raw);
    return serial(reader);
}

VuPairedDevice pairedDevice(ByteReader& r, std::size_t approvalSize) {
    VuPairedDevice device;
    device.serial = serial(r);
    device.approvalNumber = ia5(r, approvalSize);
    device.pairing = instant(r);
    return device;
}

}  // namespace

void decodeIdentification(ByteReader& r, VuGeneration g, Sink& s) {
    VuIdentification id;
    id.manufacturerName = name(r);
    id.manufacturerAddress = name(r);
    id.partNumber = ia5(r, 16);
    id.serial = serial(r);
    id.softwareVersion = ia5(r, 4);
    id.softwareInstallation = instant(r);
    id.manufacturingDate = instant(r);
    id.approvalNumber = ia5(r, g == VuGeneration::First ? 8 : 16);
    if (g != VuGeneration::First) {
        id.generation = r.u8();
        r.skip(1);
    }
    if (g == VuGeneration::SecondV2) id.digitalMapVersion = ia5(r, 12);
    s.out.identification = std::move(id);
}

void decodeSensorPaired(ByteReader& r, VuGeneration g, Sink& s) {
    s.out.sensors.push_back(pairedDevice(r, g == VuGeneration::First ? 8 : 16));
}

void decodeGnssCoupled(ByteReader& r, VuGeneration, Sink& s) { s.out.gnssFacilities.push_back(pairedDevice(r, 16)); }

void decodeCalibration(ByteReader& r, VuGeneration g, Sink& s) {
    VuCalibration c;
    c.purpose = r.u8();
    c.workshopName = name(r);
    c.workshopAddress = name(r);
    c.workshopCard = card(r, g);
    c.workshopCardExpiry = instant(r);
    c.vin = textWithoutTrailingBlanks(r.bytes(17));
    c.registration = readRegistration(r);
    c.w = r.u16();
    c.k = r.u16();
    c.l = r.u16();
    c.tyreSize = ia5(r, 15);
    c.authorisedSpeed = r.u8();
    c.oldOdometer = kilometres(r);
    c.newOdometer = kilometres(r);
    c.oldTime = instant(r);
    c.newTime = instant(r);
    c.nextCalibration = instant(r);
    if (g == VuGeneration::SecondV2) {
        c.sensorSerial = pairedSerial(r);
        c.gnssSerial = pairedSerial(r);
        c.remoteCommunicationSerial = pairedSerial(r);
    }
    if (g != VuGeneration::First) c.seals = seals(r);
    if (g == VuGeneration::SecondV2) {
        c.defaultLoadType = r.u8();
        c.country = r.u8();
        c.countryTime = instant(r);
    }
    s.out.calibrations.push_back(std::move(c));
}

void decodeCardRecord(ByteReader& r, VuGeneration g, Sink& s) {
    if (VuCardRef used = card(r, g)) s.out.cardsUsed.push_back(std::move(*used));
}

void decodeItsConsent(ByteReader& r, VuGeneration g, Sink& s) {
    VuItsConsent consent;
    consent.card = card(r, g);
    consent.consent = r.u8() != 0;
    s.out.itsConsents.push_back(std::move(consent));
}

void readTechnicalDataGen1(FixedBlockReader& block) {
    block.record(kIdentification, "VU identification");
    block.record(kSensorPaired, "paired sensor");
    block.list(1, kCalibration, "calibrations");
}

}  // namespace ddd::vu
