// Vehicle-unit downloads. Second generation: blocks 0x76 TREP followed by record arrays (record
// type 1, record size 2, number of records 2, records), each block ending in a signature array
// (type 0x08) over every array before it, the overview's certificates excepted:
//   overview   certificates 0x04 and 0x0F, VIN 0x0A, registration 0x24 and/or 0x0B, time 0x03,
//              downloadable period 0x13, card slots 0x02, last download 0x14, locks 0x10,
//              controls 0x11
//   activities per day: date 0x06, odometer 0x05, card stays 0x0D, activity changes 0x01,
//              places 0x1C, GNSS positions 0x16, specific conditions 0x09, (version 2: border
//              crossings 0x22, load/unload 0x23)
//   events and faults: faults 0x18, events 0x15, overspeeding control 0x1A, overspeeding
//              events 0x1B, time adjustments 0x1E
//   detailed speed 0x12
//   technical data: unit 0x19, sensors 0x20, GNSS facilities 0x21, calibrations 0x0C, cards
//              0x0E, power interruptions 0x1F
// First generation: the same blocks as fixed structures (TREP 0x01-0x05), lists as a count of 1
// or 2 bytes followed by the records, cards of 18 bytes, and a 128-byte RSA signature at the end
// of each block over everything after the TREP (overview: after the two certificates).
// Record layouts are those of the regulation's data dictionary; sizes per generation below.
#include <algorithm>
#include <stdexcept>

#include "tools/generator/byte_writer.h"
#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::gen {
namespace {

constexpr std::uint8_t kMarker = 0x76;
constexpr std::size_t kGen1CertificateSize = 194;
constexpr std::size_t kGen1SignatureSize = 128;

constexpr std::uint8_t kTypeActivityChange = 0x01, kTypeCardSlots = 0x02, kTypeCurrentTime = 0x03,
                       kTypeMemberStateCertificate = 0x04, kTypeOdometerMidnight = 0x05, kTypeDateOfDay = 0x06,
                       kTypeSignature = 0x08, kTypeSpecificCondition = 0x09, kTypeVin = 0x0A,
                       kTypeRegistrationNumber = 0x0B, kTypeCalibration = 0x0C, kTypeCardIw = 0x0D,
                       kTypeCardRecord = 0x0E, kTypeVuCertificate = 0x0F, kTypeCompanyLock = 0x10,
                       kTypeControl = 0x11, kTypeDetailedSpeed = 0x12, kTypeDownloadablePeriod = 0x13,
                       kTypeDownloadActivity = 0x14, kTypeEvent = 0x15, kTypeGnss = 0x16, kTypeFault = 0x18,
                       kTypeIdentification = 0x19, kTypeOverspeedControl = 0x1A, kTypeOverspeedEvent = 0x1B,
                       kTypePlace = 0x1C, kTypeTimeAdjustment = 0x1E, kTypePowerInterruption = 0x1F,
                       kTypeSensorPaired = 0x20, kTypeGnssCoupled = 0x21, kTypeBorderCrossing = 0x22,
                       kTypeLoadUnload = 0x23, kTypeItsConsent = 0x17, kTypeRegistrationIdentification = 0x24;

// Deterministic bytes that contain the marker often.
class Filler {
public:
    explicit Filler(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint8_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return (state_ % 5 == 0) ? kMarker : static_cast<std::uint8_t>((state_ >> 24) & 0xFF);
    }
    void write(ByteWriter& w, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) w.u8(next());
    }

private:
    std::uint64_t state_;
};

struct Writer {
    const VuDescription& vu;
    ByteWriter out;
    Filler filler;
    int blocksWritten = 0;
    std::vector<std::size_t> cardCountOffsets;  // per day: offset of the card array's count in `out`

    explicit Writer(const VuDescription& d) : vu(d), filler(d.fillerSeed) {}

    bool gen1() const { return vu.layout == VuLayout::Gen1Fixed; }
    bool v2() const { return vu.layout == VuLayout::Gen2v2; }
    std::uint8_t trep(int kind) const {
        const int base = vu.layout == VuLayout::Gen2 ? 0x20 : vu.layout == VuLayout::Gen2v2 ? 0x30 : 0x00;
        return static_cast<std::uint8_t>(base + kind);
    }

    // ---- fields ------------------------------------------------------------------------------
    void instant(ByteWriter& w, const VuInstant& t) {
        if (t) w.time(*t);
        else w.fill(vu.unwrittenFill, 4);
    }
    void km(ByteWriter& w, const VuKm& value) { w.u24(value ? *value : 0xFFFFFF); }
    void card(ByteWriter& w, const VuCardRef& c) {
        if (!c) {
            w.fill(vu.unwrittenFill, gen1() ? 18 : 19);
            return;
        }
        w.u8(c->type);
        w.u8(c->nation);
        writePadded(w, c->number, 16, 0x20);
        if (!gen1()) w.u8(c->generation.value_or(2));
    }
    void name(ByteWriter& w, const std::string& text) {
        if (text.empty() && vu.unwrittenFill == 0xFF) w.fill(0xFF, 36);
        else writeName(w, Text(text));
    }
    void registration(ByteWriter& w, const ddd::Registration& r) { writeRegistration(w, {r.nation, Text(r.number)}); }
    void serial(ByteWriter& w, const VuSerial& s) {
        w.u32(s.serial);
        w.bcd(std::uint64_t{s.month} * 100 + s.year % 100, 2);
        w.u8(s.equipmentType);
        w.u8(s.manufacturerCode);
    }
    void gnssPlace(ByteWriter& w, const VuGnssPlace& p) {
        instant(w, p.time);
        w.u8(p.accuracy);
        w.u24(static_cast<std::uint32_t>(p.latitude) & 0xFFFFFF);
        w.u24(static_cast<std::uint32_t>(p.longitude) & 0xFFFFFF);
        if (v2()) w.u8(p.authenticated.value_or(false) ? 1 : 0);
    }

    // ---- records -----------------------------------------------------------------------------
    void cardStay(ByteWriter& w, const VuCardStay& s) {
        writeName(w, s.surname);
        writeName(w, s.firstNames);
        w.u8(s.cardType);
        w.u8(s.cardNation);
        writePadded(w, s.cardNumber, 16, 0x20);
        if (!gen1()) w.u8(s.cardGeneration);
        w.time(s.cardExpiry);
        w.time(s.insertion);
        w.u24(static_cast<std::uint64_t>(s.odometerAtInsertion));
        w.u8(static_cast<std::uint64_t>(s.slot));
        w.time(s.withdrawal);
        w.u24(static_cast<std::uint64_t>(s.odometerAtWithdrawal));
        w.fill(0, gen1() ? 19 : 20);  // previous vehicle: none
        w.u8(0);                      // no manual input
    }
    void place(ByteWriter& w, const VuPlace& p) {
        card(w, p.card);
        instant(w, p.entryTime);
        w.u8(p.entryType);
        w.u8(p.country);
        w.u8(p.region);
        km(w, p.odometer);
        if (!gen1()) gnssPlace(w, p.gnss.value_or(VuGnssPlace{}));
    }
    void eventFault(ByteWriter& w, const VuEventFault& e, bool similar, bool manufacturerData) {
        w.u8(e.type);
        w.u8(e.purpose);
        instant(w, e.begin);
        instant(w, e.end);
        for (const VuCardRef* c : {&e.driverBegin, &e.coDriverBegin, &e.driverEnd, &e.coDriverEnd}) card(w, *c);
        if (similar) w.u8(e.similarEvents.value_or(0));
        if (manufacturerData && !gen1()) w.u32(0);
    }
    void pairedDevice(ByteWriter& w, const VuPairedDevice& d, std::size_t approvalSize) {
        serial(w, d.serial);
        writePadded(w, d.approvalNumber, approvalSize, 0x20);
        instant(w, d.pairing);
    }
    void calibration(ByteWriter& w, const VuCalibration& c) {
        w.u8(c.purpose);
        name(w, c.workshopName);
        name(w, c.workshopAddress);
        card(w, c.workshopCard);
        instant(w, c.workshopCardExpiry);
        writePadded(w, c.vin, 17, 0x20);
        registration(w, c.registration);
        w.u16(c.w);
        w.u16(c.k);
        w.u16(c.l);
        writePadded(w, c.tyreSize, 15, 0x20);
        w.u8(c.authorisedSpeed);
        km(w, c.oldOdometer);
        km(w, c.newOdometer);
        instant(w, c.oldTime);
        instant(w, c.newTime);
        instant(w, c.nextCalibration);
        if (gen1()) return;
        if (v2()) {
            for (const auto* device : {&c.sensorSerial, &c.gnssSerial, &c.remoteCommunicationSerial}) {
                if (*device) serial(w, **device);
                else w.fill(vu.unwrittenFill, 8);
            }
        }
        for (std::size_t i = 0; i < 5; ++i) {
            if (i >= c.seals.size()) {
                w.fill(0, 11);
                continue;
            }
            w.u8(c.seals[i].equipmentType);
            w.u16(c.seals[i].manufacturerCode);
            for (std::size_t k = 0; k < 16; k += 2) w.u8(std::stoul(c.seals[i].identifier.substr(k, 2), nullptr, 16));
        }
        if (v2()) {
            w.u8(c.defaultLoadType);
            w.u8(c.country);
            instant(w, c.countryTime);
        }
    }
    void identification(ByteWriter& w, const VuIdentification& id) {
        name(w, id.manufacturerName);
        name(w, id.manufacturerAddress);
        writePadded(w, id.partNumber, 16, 0x20);
        serial(w, id.serial);
        writePadded(w, id.softwareVersion, 4, 0x20);
        instant(w, id.softwareInstallation);
        instant(w, id.manufacturingDate);
        writePadded(w, id.approvalNumber, gen1() ? 8 : 16, 0x20);
        if (gen1()) return;
        w.u8(id.generation.value_or(2));
        w.u8(0);
        if (v2()) writePadded(w, id.digitalMapVersion, 12, 0x20);
    }

    // ---- containers --------------------------------------------------------------------------
    // A list of records: a record array in the second generation, a counted list in the first.
    template <typename T, typename Write>
    void list(ByteWriter& w, std::uint8_t type, int countBytes, const std::vector<T>& items, Write write) {
        ByteWriter records;
        for (const T& item : items) write(records, item);
        const std::vector<std::uint8_t> bytes = records.take();
        if (gen1()) {
            if (countBytes == 1) w.u8(items.size());
            else w.u16(items.size());
        } else {
            w.u8(type);
            w.u16(items.empty() ? 0 : bytes.size() / items.size());
            w.u16(items.size());
        }
        w.bytes(bytes);
    }
    // One record: an array of one in the second generation, the bare record in the first.
    template <typename Write>
    void single(ByteWriter& w, std::uint8_t type, Write write) {
        ByteWriter record;
        write(record);
        const std::vector<std::uint8_t> bytes = record.take();
        if (!gen1()) {
            w.u8(type);
            w.u16(bytes.size());
            w.u16(1);
        }
        w.bytes(bytes);
    }

    // Appends a block: marker, TREP, the body and its signature over body[signedFrom, end).
    void block(int kind, const std::vector<std::uint8_t>& body, std::size_t signedFrom) {
        out.u8(kMarker);
        out.u8(trep(kind));
        out.bytes(body);
        const std::span<const std::uint8_t> signedPart = std::span(body).subspan(signedFrom);
        if (gen1()) {
            if (vu.gen1Signing) out.bytes(gen1Sign(vu.gen1Signing->card, signedPart));
            else out.fill(0, kGen1SignatureSize);
        } else if (vu.gen2Signing) {
            const std::vector<std::uint8_t> signature = gen2Sign(vu.gen2Signing->cardSign, signedPart);
            out.u8(kTypeSignature);
            out.u16(signature.size());
            out.u16(1);
            out.bytes(signature);
        }
        unknownBlocksAfter(blocksWritten++);
    }

    void unknownBlocksAfter(int index) {
        for (const auto& f : vu.inject) {
            if (f.kind != VuFault::Kind::UnknownBlock || f.block != index) continue;
            out.u8(kMarker);
            out.u8(static_cast<std::uint8_t>(f.value));
            out.u8(0x40);
            out.u16(12);
            out.u16(3);
            filler.write(out, 36);
        }
    }

    // ---- blocks ------------------------------------------------------------------------------
    void overview() {
        ByteWriter w;
        std::size_t signedFrom = 0;
        if (gen1()) {
            const auto certificate = [&](const std::vector<std::uint8_t>* bytes) {
                if (bytes) w.bytes(*bytes);
                else w.fill(0, kGen1CertificateSize);
            };
            certificate(vu.gen1Signing ? &vu.gen1Signing->memberStateCertificate : nullptr);
            certificate(vu.gen1Signing ? &vu.gen1Signing->cardCertificate : nullptr);
            signedFrom = w.size();
        } else if (vu.gen2Signing) {
            for (const auto& [type, bytes] : {std::pair{kTypeMemberStateCertificate, &vu.gen2Signing->memberStateCertificate},
                                              std::pair{kTypeVuCertificate, &vu.gen2Signing->cardSignCertificate}}) {
                w.u8(type);
                w.u16(bytes->size());
                w.u16(1);
                w.bytes(*bytes);
            }
            signedFrom = w.size();
        }
        single(w, kTypeVin, [&](ByteWriter& r) { writePadded(r, vu.vin, 17, 0x20); });
        const auto records = vu.registrationRecords;
        if (gen1() || records == VuRegistrationRecords::Identification || records == VuRegistrationRecords::Both) {
            single(w, kTypeRegistrationIdentification, [&](ByteWriter& r) { writeRegistration(r, vu.registration); });
        }
        if (!gen1() && (records == VuRegistrationRecords::NumberOnly || records == VuRegistrationRecords::Both)) {
            single(w, kTypeRegistrationNumber, [&](ByteWriter& r) {
                r.u8(vu.registration.plate.codePage);
                r.bytes(encodeText(vu.registration.plate, 13));
            });
        }
        single(w, kTypeCurrentTime, [&](ByteWriter& r) { r.time(vu.vuTime); });
        single(w, kTypeDownloadablePeriod, [&](ByteWriter& r) {
            r.time(vu.downloadableFrom);
            r.time(vu.downloadableTo);
        });
        single(w, kTypeCardSlots, [&](ByteWriter& r) { r.u8(vu.cardSlots.value_or(0)); });
        single(w, kTypeDownloadActivity, [&](ByteWriter& r) {
            const VuDownloadActivity last = vu.lastDownload.value_or(VuDownloadActivity{});
            instant(r, last.time);
            card(r, last.card);
            name(r, last.companyOrWorkshop);
        });
        list(w, kTypeCompanyLock, 1, vu.companyLocks, [&](ByteWriter& r, const VuCompanyLock& lock) {
            instant(r, lock.lockIn);
            instant(r, lock.lockOut);
            name(r, lock.companyName);
            name(r, lock.companyAddress);
            card(r, lock.card);
        });
        list(w, kTypeControl, 1, vu.controls, [&](ByteWriter& r, const VuControl& control) {
            r.u8(control.type);
            instant(r, control.time);
            card(r, control.card);
            instant(r, control.periodBegin);
            instant(r, control.periodEnd);
        });
        block(1, w.take(), signedFrom);
    }

    void day(const VuDay& d, int index) {
        ByteWriter w;
        if (gen1()) {
            w.time(d.writeDate ? d.date : 0);  // the date is part of the fixed structure
            w.u24(static_cast<std::uint64_t>(d.odometerMidnight));
        } else {
            if (d.writeDate) single(w, kTypeDateOfDay, [&](ByteWriter& r) { r.time(d.date); });
            single(w, kTypeOdometerMidnight, [&](ByteWriter& r) { r.u24(static_cast<std::uint64_t>(d.odometerMidnight)); });
        }
        cardCountOffsets.push_back(out.size() + 2 + w.size() + (gen1() ? 0 : 3));
        list(w, kTypeCardIw, 2, d.stays, [&](ByteWriter& r, const VuCardStay& s) { cardStay(r, s); });
        std::vector<std::uint16_t> words = d.changeWords;
        for (int i = 0; words.empty() && i < d.activityChanges; ++i) words.push_back(static_cast<std::uint16_t>(filler.next() << 8 | filler.next()));
        list(w, kTypeActivityChange, 2, words, [](ByteWriter& r, std::uint16_t word) { r.u16(word); });
        list(w, kTypePlace, 1, d.places, [&](ByteWriter& r, const VuPlace& p) { place(r, p); });
        if (!gen1()) {
            list(w, kTypeGnss, 2, d.gnssPositions, [&](ByteWriter& r, const VuGnssAccumulatedDriving& g) {
                instant(r, g.time);
                card(r, g.driverCard);
                card(r, g.coDriverCard);
                gnssPlace(r, g.place);
                km(r, g.odometer);
            });
        }
        const bool wrongSize = std::any_of(vu.inject.begin(), vu.inject.end(), [&](const VuFault& f) {
            return f.kind == VuFault::Kind::WrongRecordSize && f.block == index;
        });
        if (wrongSize && !gen1()) {
            w.u8(kTypeSpecificCondition);
            w.u16(1);
            w.u16(5 * d.specificConditions.size());
            for (const auto& c : d.specificConditions) {
                instant(w, c.time);
                w.u8(c.type);
            }
        } else {
            list(w, kTypeSpecificCondition, 2, d.specificConditions, [&](ByteWriter& r, const VuSpecificCondition& c) {
                instant(r, c.time);
                r.u8(c.type);
            });
        }
        const bool zeroSize = std::any_of(vu.inject.begin(), vu.inject.end(), [&](const VuFault& f) {
            return f.kind == VuFault::Kind::ZeroSizeRecords && f.block == index;
        });
        if (zeroSize && !gen1()) {
            w.u8(kTypeBorderCrossing);
            w.u16(0);
            w.u16(0xE400);
        }
        if (v2()) {
            list(w, kTypeBorderCrossing, 2, d.borderCrossings, [&](ByteWriter& r, const VuBorderCrossing& b) {
                card(r, b.driverCard);
                card(r, b.coDriverCard);
                r.u8(b.countryLeft);
                r.u8(b.countryEntered);
                gnssPlace(r, b.place);
                km(r, b.odometer);
            });
            list(w, kTypeLoadUnload, 2, d.loadUnloads, [&](ByteWriter& r, const VuLoadUnload& l) {
                instant(r, l.time);
                r.u8(l.operation);
                card(r, l.driverCard);
                card(r, l.coDriverCard);
                gnssPlace(r, l.place);
                km(r, l.odometer);
            });
        }
        block(2, w.take(), 0);
    }

    void eventsFaults() {
        ByteWriter w;
        list(w, kTypeFault, 1, vu.faults, [&](ByteWriter& r, const VuEventFault& e) { eventFault(r, e, false, true); });
        list(w, kTypeEvent, 1, vu.events, [&](ByteWriter& r, const VuEventFault& e) { eventFault(r, e, true, true); });
        single(w, kTypeOverspeedControl, [&](ByteWriter& r) {
            const VuOverspeedControl control = vu.overspeedControl.value_or(VuOverspeedControl{});
            instant(r, control.lastControl);
            instant(r, control.firstOverspeedSince);
            r.u8(control.overspeedsSince);
        });
        list(w, kTypeOverspeedEvent, 1, vu.overspeedEvents, [&](ByteWriter& r, const VuOverspeedEvent& e) {
            r.u8(e.type);
            r.u8(e.purpose);
            instant(r, e.begin);
            instant(r, e.end);
            r.u8(e.maxSpeed);
            r.u8(e.averageSpeed);
            card(r, e.driverBegin);
            r.u8(e.similarEvents);
        });
        list(w, kTypeTimeAdjustment, 1, vu.timeAdjustments, [&](ByteWriter& r, const VuTimeAdjustment& t) {
            instant(r, t.oldTime);
            instant(r, t.newTime);
            name(r, t.workshopName);
            name(r, t.workshopAddress);
            card(r, t.workshopCard);
        });
        block(3, w.take(), 0);
    }

    void speed() {
        std::vector<VuSpeedMinute> minutes = vu.speed;
        for (int i = 0; minutes.empty() && i < vu.speedMinutes; ++i) {
            VuSpeedMinute& m = minutes.emplace_back();
            m.begin = static_cast<std::uint32_t>(vu.downloadableFrom + 60 * i);
            for (auto& s : m.speeds) s = filler.next();
        }
        ByteWriter w;
        list(w, kTypeDetailedSpeed, 2, minutes, [](ByteWriter& r, const VuSpeedMinute& m) {
            r.u32(m.begin);
            r.bytes(m.speeds);
        });
        block(4, w.take(), 0);
    }

    void technical() {
        ByteWriter w;
        single(w, kTypeIdentification, [&](ByteWriter& r) { identification(r, vu.identification.value_or(VuIdentification{})); });
        if (gen1()) {
            pairedDevice(w, vu.sensors.empty() ? VuPairedDevice{} : vu.sensors.front(), 8);
        } else {
            list(w, kTypeSensorPaired, 1, vu.sensors, [&](ByteWriter& r, const VuPairedDevice& d) { pairedDevice(r, d, 16); });
            list(w, kTypeGnssCoupled, 1, vu.gnssFacilities, [&](ByteWriter& r, const VuPairedDevice& d) { pairedDevice(r, d, 16); });
        }
        list(w, kTypeCalibration, 1, vu.calibrations, [&](ByteWriter& r, const VuCalibration& c) { calibration(r, c); });
        if (!gen1()) {
            list(w, kTypeCardRecord, 1, vu.cardsUsed, [&](ByteWriter& r, const VuCard& c) {
                card(r, c);
                r.fill(0, 8 + 2 + 16);
            });
            list(w, kTypeItsConsent, 1, vu.itsConsents, [&](ByteWriter& r, const VuItsConsent& c) {
                card(r, c.card);
                r.u8(c.consent ? 1 : 0);
            });
            list(w, kTypePowerInterruption, 1, vu.powerInterruptions,
                 [&](ByteWriter& r, const VuEventFault& e) { eventFault(r, e, true, false); });
        }
        block(5, w.take(), 0);
    }
};

void patchCountPastEnd(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t recordSize) {
    const std::size_t fits = (bytes.size() - at - 2) / recordSize;
    const std::size_t count = std::min<std::size_t>(fits + 1, 0xFFFF);
    bytes[at] = static_cast<std::uint8_t>(count >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(count & 0xFF);
}

}  // namespace

std::vector<std::uint8_t> writeVuDownload(const VuDescription& vu) {
    if (vu.vin.size() > 17) throw std::invalid_argument("VIN \"" + vu.vin + "\" is longer than 17 bytes");
    if (vu.speedMinutes < 0 || vu.speedMinutes > 0xFFFF) throw std::invalid_argument("speed records out of range");
    if (vu.layout == VuLayout::Gen1Fixed && vu.registrationRecords != VuRegistrationRecords::Identification) {
        throw std::invalid_argument("a first-generation overview always holds the registration identification alone");
    }
    Writer writer(vu);
    writer.overview();
    for (std::size_t i = 0; i < vu.days.size(); ++i) {
        if (vu.days[i].stays.size() > 0xFFFF) throw std::invalid_argument("too many card stays in one day");
        writer.day(vu.days[i], static_cast<int>(i));
    }
    for (int i = 0; i < vu.eventFaultBlocks; ++i) writer.eventsFaults();
    for (int i = 0; i < vu.speedBlocks; ++i) writer.speed();
    for (int i = 0; i < vu.technicalBlocks; ++i) writer.technical();

    std::vector<std::uint8_t> bytes = writer.out.take();
    for (const auto& f : vu.inject) {
        switch (f.kind) {
        case VuFault::Kind::CountPastEnd:
            if (f.block < 0 || static_cast<std::size_t>(f.block) >= writer.cardCountOffsets.size()) {
                throw std::invalid_argument("count fault names no day");
            }
            patchCountPastEnd(bytes, writer.cardCountOffsets[static_cast<std::size_t>(f.block)],
                              vu.layout == VuLayout::Gen1Fixed ? 129 : 131);
            break;
        case VuFault::Kind::MarkerAtEnd: bytes.push_back(kMarker); break;
        case VuFault::Kind::TrailingGarbage: bytes.insert(bytes.end(), static_cast<std::size_t>(f.value), 0x55); break;
        default: break;
        }
    }
    for (const auto& f : vu.inject) {
        if (f.kind == VuFault::Kind::TruncateAt && f.value >= 0 && static_cast<std::size_t>(f.value) < bytes.size()) {
            bytes.resize(static_cast<std::size_t>(f.value));
        }
    }
    return bytes;
}

}  // namespace ddd::gen
