// Block scan of a vehicle-unit download. The file is a sequence of blocks, each the marker 0x76
// and a TREP byte naming the block:
//   TREP 0x21-0x25 (second generation), 0x31-0x35 (its second version) and unknown TREPs:
//     record arrays up to the next 0x76 at an array position: record type 1, record size 2,
//     number of records 2, then size * number bytes of records; a signature array (type 0x08)
//     ends each block and signs every array before it except the overview's certificates.
//   TREP 0x01-0x05 (first generation): fixed structures whose counted lists give the block's
//     length, each ending in a 128-byte signature.
// A first-generation block has no record arrays that could tell where an unknown block after it
// ends, so an unknown TREP after one ends the scan.
#include <algorithm>
#include <cstdio>

#include "core/vu_blocks.h"

namespace ddd {
namespace {

constexpr std::uint8_t kBlockMarker = 0x76;
constexpr std::size_t kGen1SignatureSize = 128;
// A unit keeps about a year of days; a few downloads in one file stay far below this. The cap
// bounds the memory a file of tiny blocks could claim (a day costs a few hundred bytes).
constexpr std::size_t kMaxBlocks = 4096;

VuBlockKind kindOf(std::uint8_t trep) {
    const unsigned layout = trep & 0xF0u;
    if (layout != 0x00 && layout != 0x20 && layout != 0x30) return VuBlockKind::Unknown;
    switch (trep & 0x0F) {
    case 0x01: return VuBlockKind::Overview;
    case 0x02: return VuBlockKind::Activities;
    case 0x03: return VuBlockKind::EventsFaults;
    case 0x04: return VuBlockKind::DetailedSpeed;
    case 0x05: return VuBlockKind::TechnicalData;
    default: return VuBlockKind::Unknown;
    }
}

std::optional<VuGeneration> generationOf(std::uint8_t trep) {
    if (kindOf(trep) == VuBlockKind::Unknown) return std::nullopt;
    switch (trep & 0xF0) {
    case 0x00: return VuGeneration::First;
    case 0x20: return VuGeneration::Second;
    case 0x30: return VuGeneration::SecondV2;
    default: return std::nullopt;
    }
}

std::string format(const char* pattern, auto... values) {
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

bool nextIsMarker(const ByteReader& reader) {
    ByteReader look = reader;
    return look.remaining() > 0 && look.u8() == kBlockMarker;
}

const char* kindName(VuBlockKind kind) {
    switch (kind) {
    case VuBlockKind::Overview: return "Übersicht";
    case VuBlockKind::Activities: return "Tätigkeiten";
    case VuBlockKind::EventsFaults: return "Ereignisse und Störungen";
    case VuBlockKind::DetailedSpeed: return "Detaillierte Geschwindigkeit";
    case VuBlockKind::TechnicalData: return "Technische Daten";
    case VuBlockKind::Unknown: break;
    }
    return "Unbekannter Block";
}

constexpr vu::RecordLayout kLayouts[] = {
    {vu::kActivityChange, {2, 2, 2}, vu::decodeActivityChange, true},
    {vu::kCardSlotsStatus, {1, 1, 1}, vu::decodeCardSlots},
    {vu::kCurrentTime, {4, 4, 4}, vu::decodeCurrentTime},
    {vu::kOdometerMidnight, {3, 3, 3}, vu::decodeOdometerMidnight, true},
    {vu::kDateOfDay, {4, 4, 4}, vu::decodeDateOfDay, true},
    {vu::kSpecificCondition, {5, 5, 5}, vu::decodeSpecificCondition, true},
    {vu::kVin, {17, 17, 17}, vu::decodeVin},
    {vu::kRegistrationNumber, {0, 14, 14}, vu::decodeRegistrationNumber},
    {vu::kCalibration, {167, 223, 253}, vu::decodeCalibration},
    {vu::kCardIw, {129, 131, 131}, vu::decodeCardIw, true},
    {vu::kCardRecord, {0, 45, 45}, vu::decodeCardRecord},
    {vu::kItsConsent, {0, 20, 20}, vu::decodeItsConsent},
    {vu::kCompanyLock, {98, 99, 99}, vu::decodeCompanyLock},
    {vu::kControl, {31, 32, 32}, vu::decodeControl},
    {vu::kDetailedSpeed, {64, 64, 64}, vu::decodeSpeedMinute},
    {vu::kDownloadablePeriod, {8, 8, 8}, vu::decodeDownloadablePeriod},
    {vu::kDownloadActivity, {58, 59, 59}, vu::decodeDownloadActivity},
    {vu::kEvent, {83, 91, 91}, vu::decodeEvent},
    {vu::kGnssAccumulatedDriving, {0, 56, 57}, vu::decodeGnssAccumulatedDriving, true},
    {vu::kFault, {82, 90, 90}, vu::decodeFault},
    {vu::kIdentification, {116, 126, 138}, vu::decodeIdentification},
    {vu::kOverspeedControl, {9, 9, 9}, vu::decodeOverspeedControl},
    {vu::kOverspeedEvent, {31, 32, 32}, vu::decodeOverspeedEvent},
    {vu::kPlace, {28, 40, 41}, vu::decodePlace, true},
    {vu::kTimeAdjustment, {98, 99, 99}, vu::decodeTimeAdjustment},
    {vu::kPowerInterruption, {0, 87, 87}, vu::decodePowerInterruption},
    {vu::kSensorPaired, {20, 28, 28}, vu::decodeSensorPaired},
    {vu::kGnssCoupled, {0, 28, 28}, vu::decodeGnssCoupled},
    {vu::kBorderCrossing, {0, 0, 55}, vu::decodeBorderCrossing, true},
    {vu::kLoadUnload, {0, 0, 58}, vu::decodeLoadUnload, true},
    {vu::kRegistration, {15, 15, 15}, vu::decodeRegistration},
};

std::uint16_t sizeIn(const vu::RecordLayout& layout, VuGeneration generation) {
    return layout.size[static_cast<std::size_t>(generation)];
}

// The layout an array of `size`-byte records is written in: the version whose size it has, or
// the block's own version when the records are longer (a later version appending fields). A size
// of 0 marks a version without such records: an array declaring 0-byte records fits none.
std::optional<VuGeneration> arrayVersion(const vu::RecordLayout& layout, std::uint16_t size, VuGeneration block) {
    for (VuGeneration g : {VuGeneration::Second, VuGeneration::SecondV2}) {
        if (size != 0 && size == sizeIn(layout, g)) return g;
    }
    const VuGeneration own = sizeIn(layout, block) != 0 ? block : VuGeneration::SecondV2;
    if (sizeIn(layout, own) != 0 && size > sizeIn(layout, own)) return own;
    return std::nullopt;
}

void decodeEach(const vu::RecordLayout& layout, VuGeneration generation, Bytes data, std::size_t size, vu::Sink& sink) {
    // Detailed speed is most of a download: one allocation for all of its minutes.
    if (layout.type == vu::kDetailedSpeed) sink.out.speed.reserve(sink.out.speed.size() + data.size() / size);
    ByteReader all(data);
    while (all.remaining() >= size) {
        ByteReader record(all.bytes(size));
        layout.decode(record, generation, sink);
    }
}

class Scan {
public:
    explicit Scan(Bytes data) : reader_(data) {}

    VuDownload run() {
        while (true) {
            if (reader_.remaining() == 0) {
                out_.complete = true;
                out_.stoppedAt = reader_.position();
                break;
            }
            if (!nextIsMarker(reader_)) {
                stop(reader_.position(), "no block marker 0x76",
                     format("Ab Byte %zu folgt kein weiterer Block; der Rest der Datei wurde nicht gelesen.", reader_.position()));
                break;
            }
            if (reader_.remaining() == 1) {
                stop(reader_.position(), "block marker 0x76 is the last byte",
                     format("Die Datei endet nach der Blockkennung bei Byte %zu.", reader_.position()));
                break;
            }
            if (out_.blocks.size() == kMaxBlocks) {
                stop(reader_.position(), "more than 4096 blocks",
                     format("Die Datei enthält mehr als %zu Blöcke; ab Byte %zu wurde sie nicht weiter gelesen.", kMaxBlocks,
                            reader_.position()));
                break;
            }
            if (!block()) break;
        }
        return std::move(out_);
    }

private:
    void stop(std::size_t at, std::string reason, std::string german) {
        out_.stoppedAt = at;
        out_.stopReason = std::move(reason);
        out_.problems.push_back(std::move(german));
    }

    // One block from its marker; false when it ended the scan.
    bool block() {
        VuBlock block;
        block.offset = reader_.position();
        reader_.skip(1);
        block.trep = reader_.u8();
        block.kind = kindOf(block.trep);
        const std::optional<VuGeneration> generation = generationOf(block.trep);
        if (!generation && afterFirstGeneration_) {
            stop(block.offset, format("unknown TREP 0x%02X after a first-generation block", unsigned{block.trep}),
                 format("Bei Byte %zu beginnt ein Block unbekannter Art (TREP 0x%02X); der Rest der Datei wurde nicht gelesen.",
                        block.offset, unsigned{block.trep}));
            return false;
        }
        if (block.trep >= 0x21) out_.isGen2Format = true;
        if (generation && (!out_.generation || block.kind == VuBlockKind::Overview)) out_.generation = generation;
        switch (block.kind) {
        case VuBlockKind::Activities: ++out_.activityBlocks; break;
        case VuBlockKind::EventsFaults: ++out_.eventFaultBlocks; break;
        case VuBlockKind::DetailedSpeed: ++out_.speedBlocks; break;
        case VuBlockKind::TechnicalData: ++out_.technicalBlocks; break;
        default: break;
        }
        vu::Sink sink{out_};
        if (block.kind == VuBlockKind::Activities) {
            out_.days.emplace_back();
            block.dayIndex = out_.days.size() - 1;
            sink.day = &out_.days.back();
        }
        const bool whole = generation == VuGeneration::First ? fixedBlock(block, sink) : arrayBlock(block, generation, sink);
        if (sink.day) sink.day->activityChangeCount = static_cast<std::uint32_t>(sink.day->activityChanges.size());
        block.end = reader_.position();
        block.whole = whole && block.kind != VuBlockKind::Unknown;
        if (block.whole) ++out_.wholeBlocks;
        out_.blocks.push_back(std::move(block));
        return whole;
    }

    bool fixedBlock(VuBlock& block, vu::Sink& sink) {
        afterFirstGeneration_ = true;
        vu::FixedBlockReader fixed(reader_, kindName(block.kind), sink);
        switch (block.kind) {
        case VuBlockKind::Overview: vu::readOverviewGen1(fixed); break;
        case VuBlockKind::Activities: vu::readActivitiesGen1(fixed); break;
        case VuBlockKind::EventsFaults: vu::readEventsFaultsGen1(fixed); break;
        case VuBlockKind::DetailedSpeed: vu::readDetailedSpeedGen1(fixed); break;
        case VuBlockKind::TechnicalData: vu::readTechnicalDataGen1(fixed); break;
        case VuBlockKind::Unknown: break;
        }
        fixed.signature(block);
        if (const auto& fault = fixed.stop()) {
            stop(fault->at, fault->reason,
                 format("Der Block „%s (1. Generation)“ ab Byte %zu ist abgeschnitten; gelesen wurde er bis Byte %zu.",
                        kindName(block.kind), block.offset, fault->at));
            return false;
        }
        return true;
    }

    bool arrayBlock(VuBlock& block, std::optional<VuGeneration> generation, vu::Sink& sink) {
        const std::string name = vuBlockName(block);
        if (!generation) {
            out_.problems.push_back(format("Bei Byte %zu steht ein Block unbekannter Art (TREP 0x%02X); er wurde übersprungen.",
                                           block.offset, unsigned{block.trep}));
        }
        block.signedBegin = reader_.position();
        while (reader_.remaining() > 0 && !nextIsMarker(reader_)) {
            const std::size_t header = reader_.position();
            if (reader_.remaining() < 5) {
                stop(header, format("record array header truncated (TREP 0x%02X, %zu bytes left)", unsigned{block.trep}, reader_.remaining()),
                     format("Der Block „%s“ ab Byte %zu ist abgeschnitten: bei Byte %zu fehlt der Rest einer Datensatzliste.",
                            name.c_str(), block.offset, header));
                return false;
            }
            vu::RecordArray array;
            array.type = reader_.u8();
            array.size = reader_.u16();
            array.count = reader_.u16();
            const std::size_t total = std::size_t{array.size} * array.count;
            if (total > reader_.remaining()) {
                stop(header, format("record array type 0x%02X declares %u records of %u bytes, %zu bytes left", unsigned{array.type},
                                    unsigned{array.count}, unsigned{array.size}, reader_.remaining()),
                     format("Der Block „%s“ ab Byte %zu ist abgeschnitten: die Datensatzliste bei Byte %zu nennt %u Datensätze zu "
                            "%u Byte, es folgen nur noch %zu Byte.",
                            name.c_str(), block.offset, header, unsigned{array.count}, unsigned{array.size}, reader_.remaining()));
                return false;
            }
            array.data = reader_.bytes(total);
            if (generation) useArray(array, header, *generation, block, sink);
        }
        return true;
    }

    void useArray(const vu::RecordArray& array, std::size_t header, VuGeneration generation, VuBlock& block, vu::Sink& sink) {
        if (array.type == vu::kSignature) {
            block.signedEnd = header;
            block.signature.assign(array.data.begin(), array.data.end());
            return;
        }
        if (block.kind == VuBlockKind::Overview &&
            (array.type == vu::kMemberStateCertificate || array.type == vu::kVuCertificate)) {
            auto& certificate = array.type == vu::kVuCertificate ? out_.vuCertificate : out_.memberStateCertificate;
            certificate.assign(array.data.begin(), array.data.end());
            block.signedBegin = reader_.position();
            return;
        }
        const vu::RecordLayout* layout = vu::recordLayout(array.type);
        if (!layout || array.count == 0 || (layout->perDay && !sink.day)) return;
        const std::optional<VuGeneration> version = arrayVersion(*layout, array.size, generation);
        if (!version) {
            const std::uint16_t expected = sizeIn(*layout, generation) ? sizeIn(*layout, generation) : sizeIn(*layout, VuGeneration::SecondV2);
            out_.problems.push_back(format("Im Block „%s“ hat die Datensatzliste bei Byte %zu (Typ 0x%02X) Datensätze zu %u statt "
                                           "%u Byte; sie wurde übersprungen.",
                                           vuBlockName(block).c_str(), header, unsigned{array.type}, unsigned{array.size},
                                           unsigned{expected}));
            return;
        }
        decodeEach(*layout, *version, array.data, array.size, sink);
    }

    ByteReader reader_;
    VuDownload out_;
    bool afterFirstGeneration_ = false;
};

}  // namespace

namespace vu {

const RecordLayout* recordLayout(std::uint8_t type) {
    for (const RecordLayout& layout : kLayouts) {
        if (layout.type == type) return &layout;
    }
    return nullptr;
}

Bytes FixedBlockReader::field(std::size_t size, const char* what) {
    if (stop_) return {};
    if (size > reader_.remaining()) {
        stop_ = BlockStop{reader_.position(), format("first-generation %s: %s needs %zu bytes, %zu left", block_, what, size,
                                                     reader_.remaining())};
        return {};
    }
    return reader_.bytes(size);
}

std::optional<CountedRecords> FixedBlockReader::records(std::size_t countSize, std::size_t recordSize, const char* what) {
    const std::size_t at = reader_.position();
    const Bytes countBytes = field(countSize, what);
    if (countBytes.empty()) return std::nullopt;
    const std::uint32_t count = numberOf(countBytes);
    const std::size_t total = std::size_t{count} * recordSize;
    if (total > reader_.remaining()) {
        stop_ = BlockStop{at, format("first-generation %s: %s: %u records of %zu bytes, %zu bytes left", block_, what,
                                     unsigned{count}, recordSize, reader_.remaining())};
        return std::nullopt;
    }
    return CountedRecords{count, reader_.bytes(total)};
}

void FixedBlockReader::record(std::uint8_t type, const char* what) {
    const RecordLayout& layout = *recordLayout(type);
    const Bytes bytes = field(sizeIn(layout, VuGeneration::First), what);
    if (bytes.empty()) return;
    ByteReader record(bytes);
    layout.decode(record, VuGeneration::First, sink_);
}

void FixedBlockReader::list(std::size_t countSize, std::uint8_t type, const char* what) {
    const RecordLayout& layout = *recordLayout(type);
    const std::size_t size = sizeIn(layout, VuGeneration::First);
    if (const auto list = records(countSize, size, what)) decodeEach(layout, VuGeneration::First, list->data, size, sink_);
}

void FixedBlockReader::signature(VuBlock& block) {
    block.signedBegin = signedBegin_;
    block.signedEnd = reader_.position();
    const Bytes bytes = field(kGen1SignatureSize, "signature");
    block.signature.assign(bytes.begin(), bytes.end());
}

std::uint32_t numberOf(Bytes bytes) {
    ByteReader reader(bytes);
    std::uint32_t value = 0;
    while (reader.remaining() > 0) value = (value << 8) | reader.u8();
    return value;
}

VuInstant instant(ByteReader& reader) {
    const std::uint32_t raw = reader.u32();
    if (reader.failed() || raw == 0 || raw == 0xFFFFFFFF) return std::nullopt;
    return std::int64_t{raw};
}

VuKm kilometres(ByteReader& reader) {
    const std::uint32_t raw = reader.u24();
    if (reader.failed() || raw == 0xFFFFFF) return std::nullopt;
    return raw;
}

VuCardRef card(ByteReader& reader, VuGeneration generation) {
    VuCard out;
    out.type = reader.u8();
    out.nation = reader.u8();
    out.number = textWithoutTrailingBlanks(reader.bytes(16));
    if (generation != VuGeneration::First) out.generation = reader.u8();
    if (reader.failed() || out.type == 0 || out.type == 0xFF || out.number.empty() ||
        std::all_of(out.number.begin(), out.number.end(), [](char c) { return static_cast<std::uint8_t>(c) == 0xFF; })) {
        return std::nullopt;
    }
    return out;
}

std::string name(ByteReader& reader) { return readName(reader).text; }

std::string ia5(ByteReader& reader, std::size_t size) { return decodeCodePagedText(1, reader.bytes(size)); }

Registration registration(ByteReader& reader) { return readRegistration(reader); }

VuSerial serial(ByteReader& reader) {
    VuSerial out;
    out.serial = reader.u32();
    const std::uint8_t monthYear[2] = {reader.u8(), reader.u8()};
    const auto value = bcdValue(monthYear);
    if (value) {
        out.month = static_cast<std::uint8_t>(*value / 100);
        out.year = static_cast<std::uint16_t>(2000 + *value % 100);
    }
    out.equipmentType = reader.u8();
    out.manufacturerCode = reader.u8();
    return out;
}

// Coordinates are stored as ±DDMM.M times ten in three bytes each.
VuGnssPlace gnssPlace(ByteReader& reader, VuGeneration generation) {
    VuGnssPlace out;
    out.time = instant(reader);
    out.accuracy = reader.u8();
    out.latitude = reader.s24();
    out.longitude = reader.s24();
    if (generation == VuGeneration::SecondV2) out.authenticated = reader.u8() == 1;
    return out;
}

}  // namespace vu

std::string vuBlockName(const VuBlock& block) {
    const std::optional<VuGeneration> generation = generationOf(block.trep);
    if (!generation) return format("Unbekannter Block (TREP 0x%02X)", unsigned{block.trep});
    const char* suffix = *generation == VuGeneration::First ? "1. Generation" : *generation == VuGeneration::Second ? "2. Generation" : "2. Generation, Version 2";
    return format("%s (%s)", kindName(block.kind), suffix);
}

std::string textWithoutTrailingBlanks(Bytes bytes) {
    std::size_t length = bytes.size();
    while (length > 0 && (bytes[length - 1] & 0xDF) == 0) --length;
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

VuDownload decodeVuDownload(Bytes data) { return Scan(data).run(); }

}  // namespace ddd
