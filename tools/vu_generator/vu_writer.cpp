// Vehicle-unit downloads. Second generation: blocks 0x76 TREP followed by record arrays
// (record type 1, record size 2, number of records 2, records). Block order as a VU writes it:
//   overview   certificates, VIN 0x0A, registration 0x24 and/or 0x0B, VU time 0x03,
//              downloadable period 0x13, card slots, download activity, locks, controls, signature
//   activities per day: date 0x06, odometer 0x05, card stays 0x0D (131 bytes each),
//              activity changes 0x01, places, GNSS, specific conditions, (v2: border crossings,
//              load/unload), signature
//   events and faults, detailed speed, technical data: filler records and a signature.
// First generation: the same blocks as fixed structures (TREP 0x01-0x05), lists as a count of 1
// or 2 bytes followed by the records:
//   overview   certificates 2 x 194, VIN 17, registration 15, VU time 4, downloadable period 8,
//              card slots 1, download activity 58, locks (1, 98 each), controls (1, 31 each),
//              signature 128
//   activities date 4, odometer 3, card stays (2, 129 each), activity changes (2, 2 each),
//              places (1, 28 each), specific conditions (2, 5 each), signature 128
//   events and faults: faults (1, 82 each), events (1, 83 each), overspeeding control 9,
//              overspeeding events (1, 31 each), time adjustments (1, 98 each), signature 128
//   detailed speed: speed blocks (2, 64 each), signature 128
//   technical data: VU identification 116, paired sensor 20, calibrations (1, 167 each),
//              signature 128
#include <stdexcept>

#include "tools/generator/byte_writer.h"
#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"
#include "tools/vu_generator/vu_generator.h"

namespace ddd::gen {
namespace {

constexpr std::uint8_t kMarker = 0x76;

// Record types of the second generation's arrays. The ones the finder does not read only need
// to differ from the ones it does.
constexpr std::uint8_t kTypeActivityChange = 0x01;
constexpr std::uint8_t kTypeCardSlotsStatus = 0x02;
constexpr std::uint8_t kTypeCurrentTime = 0x03;
constexpr std::uint8_t kTypeDownloadActivity = 0x04;
constexpr std::uint8_t kTypeOdometerMidnight = 0x05;
constexpr std::uint8_t kTypeDateOfDay = 0x06;
constexpr std::uint8_t kTypeSignature = 0x08;
constexpr std::uint8_t kTypeSpecificCondition = 0x09;
constexpr std::uint8_t kTypeVin = 0x0A;
constexpr std::uint8_t kTypeRegistrationNumber = 0x0B;
constexpr std::uint8_t kTypeCardIw = 0x0D;
constexpr std::uint8_t kTypeDownloadablePeriod = 0x13;
constexpr std::uint8_t kTypeCertificate = 0x15;
constexpr std::uint8_t kTypeGnss = 0x16;
constexpr std::uint8_t kTypeEvent = 0x18;
constexpr std::uint8_t kTypeFault = 0x19;
constexpr std::uint8_t kTypeDetailedSpeed = 0x1A;
constexpr std::uint8_t kTypeCalibration = 0x1B;
constexpr std::uint8_t kTypePlace = 0x1C;
constexpr std::uint8_t kTypeVuIdentification = 0x1D;
constexpr std::uint8_t kTypeBorderCrossing = 0x1E;
constexpr std::uint8_t kTypeCompanyLock = 0x1F;
constexpr std::uint8_t kTypeControl = 0x20;
constexpr std::uint8_t kTypeRegistrationIdentification = 0x24;

// Deterministic filler that contains the marker byte often.
class Filler {
public:
    explicit Filler(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    void write(ByteWriter& w, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            w.u8((state_ % 5 == 0) ? kMarker : (state_ >> 24) & 0xFF);
        }
    }

private:
    std::uint64_t state_;
};

struct Writer {
    const VuDescription& vu;
    ByteWriter w;
    Filler filler;
    int blocksWritten = 0;
    std::vector<std::size_t> cardCountOffsets;  // per day: offset of the card array's count

    explicit Writer(const VuDescription& d) : vu(d), filler(d.fillerSeed) {}

    void header(std::uint8_t type, int size, int count) {
        w.u8(type);
        w.u16(static_cast<std::uint64_t>(size));
        w.u16(static_cast<std::uint64_t>(count));
    }
    void fillerArray(std::uint8_t type, int size, int count) {
        header(type, size, count);
        filler.write(w, static_cast<std::size_t>(size) * static_cast<std::size_t>(count));
    }
    // A first-generation counted list: the count in `countBytes` bytes, then filler records.
    void fillerList(int countBytes, int size, int count) {
        if (countBytes == 1) w.u8(static_cast<std::uint64_t>(count));
        else w.u16(static_cast<std::uint64_t>(count));
        filler.write(w, static_cast<std::size_t>(size) * static_cast<std::size_t>(count));
    }
    void block(std::uint8_t trep) {
        w.u8(kMarker);
        w.u8(trep);
    }
    std::uint8_t trep(int kind) const {
        const int base = vu.layout == VuLayout::Gen2 ? 0x20 : vu.layout == VuLayout::Gen2v2 ? 0x30 : 0x00;
        return static_cast<std::uint8_t>(base + kind);
    }
    bool gen1() const { return vu.layout == VuLayout::Gen1Fixed; }

    void cardStay(const VuCardStay& s) {
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

    void overview() {
        block(trep(1));
        if (gen1()) {
            filler.write(w, 194 * 2);
            writePadded(w, vu.vin, 17, 0x20);
            writeRegistration(w, vu.registration);
            w.time(vu.vuTime);
            w.time(vu.downloadableFrom);
            w.time(vu.downloadableTo);
            w.u8(0);
            filler.write(w, 58);
            fillerList(1, 98, 1);
            fillerList(1, 31, 2);
            filler.write(w, 128);
            return;
        }
        fillerArray(kTypeCertificate, 204, 1);
        fillerArray(kTypeCertificate, 204, 1);
        header(kTypeVin, 17, 1);
        writePadded(w, vu.vin, 17, 0x20);
        const auto records = vu.registrationRecords;
        if (records == VuRegistrationRecords::Identification || records == VuRegistrationRecords::Both) {
            header(kTypeRegistrationIdentification, 15, 1);
            writeRegistration(w, vu.registration);
        }
        if (records == VuRegistrationRecords::NumberOnly || records == VuRegistrationRecords::Both) {
            header(kTypeRegistrationNumber, 14, 1);
            w.u8(vu.registration.plate.codePage);
            w.bytes(encodeText(vu.registration.plate, 13));
        }
        header(kTypeCurrentTime, 4, 1);
        w.time(vu.vuTime);
        header(kTypeDownloadablePeriod, 8, 1);
        w.time(vu.downloadableFrom);
        w.time(vu.downloadableTo);
        fillerArray(kTypeCardSlotsStatus, 1, 1);
        fillerArray(kTypeDownloadActivity, 59, 1);
        fillerArray(kTypeCompanyLock, 104, 0);
        fillerArray(kTypeControl, 31, 2);
        fillerArray(kTypeSignature, 64, 1);
    }

    void day(const VuDay& d) {
        block(trep(2));
        if (gen1()) {
            // The date is part of the fixed structure; a day "without date" carries date 0.
            w.time(d.writeDate ? d.date : 0);
            w.u24(static_cast<std::uint64_t>(d.odometerMidnight));
            cardCountOffsets.push_back(w.size());
            w.u16(d.stays.size());
            for (const auto& s : d.stays) cardStay(s);
            fillerList(2, 2, d.activityChanges);
            fillerList(1, 28, 2);
            fillerList(2, 5, 1);
            filler.write(w, 128);
            return;
        }
        if (d.writeDate) {
            header(kTypeDateOfDay, 4, 1);
            w.time(d.date);
        }
        header(kTypeOdometerMidnight, 3, 1);
        w.u24(static_cast<std::uint64_t>(d.odometerMidnight));
        w.u8(kTypeCardIw);
        w.u16(131);
        cardCountOffsets.push_back(w.size());
        w.u16(d.stays.size());
        for (const auto& s : d.stays) cardStay(s);
        fillerArray(kTypeActivityChange, 2, d.activityChanges);
        fillerArray(kTypePlace, 28, 2);
        fillerArray(kTypeGnss, 19, 3);
        fillerArray(kTypeSpecificCondition, 5, 1);
        if (vu.layout == VuLayout::Gen2v2) {
            fillerArray(kTypeBorderCrossing, 21, 1);
            fillerArray(kTypeBorderCrossing + 2, 25, 1);
        }
        fillerArray(kTypeSignature, 64, 1);
    }

    void eventsFaults() {
        block(trep(3));
        if (gen1()) {
            fillerList(1, 82, 3);
            fillerList(1, 83, 4);
            filler.write(w, 9);
            fillerList(1, 31, 2);
            fillerList(1, 98, 1);
            filler.write(w, 128);
            return;
        }
        fillerArray(kTypeFault, 82, 3);
        fillerArray(kTypeEvent, 83, 4);
        fillerArray(kTypeSignature, 64, 1);
    }

    void speed() {
        block(trep(4));
        if (gen1()) {
            fillerList(2, 64, vu.speedMinutes);
            filler.write(w, 128);
            return;
        }
        fillerArray(kTypeDetailedSpeed, 64, vu.speedMinutes);
        fillerArray(kTypeSignature, 64, 1);
    }

    void technical() {
        block(trep(5));
        if (gen1()) {
            filler.write(w, 116 + 20);
            fillerList(1, 167, 2);
            filler.write(w, 128);
            return;
        }
        fillerArray(kTypeVuIdentification, 116, 1);
        fillerArray(kTypeCalibration, 167, 2);
        fillerArray(kTypeSignature, 64, 1);
    }

    void unknownBlocksAfter(int index) {
        for (const auto& f : vu.inject) {
            if (f.kind != VuFault::Kind::UnknownBlock || f.block != index) continue;
            block(static_cast<std::uint8_t>(f.value));
            fillerArray(0x40, 12, 3);
        }
    }

    void next() { unknownBlocksAfter(blocksWritten++); }
};

}  // namespace

std::vector<std::uint8_t> writeVuDownload(const VuDescription& vu) {
    if (vu.vin.size() > 17) throw std::invalid_argument("VIN \"" + vu.vin + "\" is longer than 17 bytes");
    if (vu.speedMinutes < 0 || vu.speedMinutes > 0xFFFF) throw std::invalid_argument("speed records out of range");
    if (vu.layout == VuLayout::Gen1Fixed && vu.registrationRecords != VuRegistrationRecords::Identification) {
        throw std::invalid_argument("a first-generation overview always holds the registration identification alone");
    }
    Writer writer(vu);
    writer.overview();
    writer.next();
    for (const auto& d : vu.days) {
        if (d.stays.size() > 0xFFFF) throw std::invalid_argument("too many card stays in one day");
        writer.day(d);
        writer.next();
    }
    for (int i = 0; i < vu.eventFaultBlocks; ++i, writer.next()) writer.eventsFaults();
    for (int i = 0; i < vu.speedBlocks; ++i, writer.next()) writer.speed();
    for (int i = 0; i < vu.technicalBlocks; ++i, writer.next()) writer.technical();

    std::vector<std::uint8_t> bytes = writer.w.take();
    for (const auto& f : vu.inject) {
        switch (f.kind) {
        case VuFault::Kind::CountPastEnd: {
            if (f.block < 0 || static_cast<std::size_t>(f.block) >= writer.cardCountOffsets.size()) {
                throw std::invalid_argument("count fault names no day");
            }
            const std::size_t at = writer.cardCountOffsets[static_cast<std::size_t>(f.block)];
            const std::size_t recordSize = vu.layout == VuLayout::Gen1Fixed ? 129 : 131;
            const std::size_t fits = (bytes.size() - at - 2) / recordSize;
            const std::size_t count = std::min<std::size_t>(fits + 1, 0xFFFF);
            bytes[at] = static_cast<std::uint8_t>(count >> 8);
            bytes[at + 1] = static_cast<std::uint8_t>(count & 0xFF);
            break;
        }
        case VuFault::Kind::MarkerAtEnd:
            bytes.push_back(kMarker);
            break;
        case VuFault::Kind::TrailingGarbage:
            bytes.insert(bytes.end(), static_cast<std::size_t>(f.value), 0x55);
            break;
        default:
            break;
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
