// Block scan of a vehicle-unit download. The file is a sequence of blocks, each the marker 0x76,
// a TREP byte naming the block, then record arrays up to the next 0x76 at an array position:
//   record type 1, record size 2, number of records 2, then size * number bytes of records.
// First-generation blocks (TREP 0x01-0x05) carry fixed structures instead of record arrays; the
// same walk runs over them and normally stops at their first block with a framing fault.
// Record types read (all others are skipped by their declared size):
//   overview   0x0A VIN 17 | 0x13 downloadable period: first, last TimeReal
//              0x24 registration: nation 1, code page 1, number 13 | 0x03 VU time TimeReal
//              0x0B registration number: code page 1, number 13 (only while none is known)
//   activities 0x06 day TimeReal | 0x05 odometer at midnight 3 | 0x01 activity changes (count)
//              0x0D card insertion/withdrawal records (vu_card_iw.cpp)
#include <algorithm>
#include <cstdio>

#include "core/vu_download.h"

namespace ddd {
namespace {

constexpr std::uint8_t kBlockMarker = 0x76;

enum class BlockKind { Overview, Activities, EventsFaults, Speed, Technical, Unknown };

BlockKind kindOf(std::uint8_t trep) {
    switch (trep) {
    case 0x01: case 0x21: case 0x31: return BlockKind::Overview;
    case 0x02: case 0x22: case 0x32: return BlockKind::Activities;
    case 0x03: case 0x23: case 0x33: return BlockKind::EventsFaults;
    case 0x04: case 0x24: case 0x34: return BlockKind::Speed;
    case 0x05: case 0x25: case 0x35: return BlockKind::Technical;
    default: return BlockKind::Unknown;
    }
}

struct RecordArray {
    std::uint8_t type = 0;
    std::uint16_t size = 0;
    std::uint16_t count = 0;
    Bytes data;
};

std::int64_t timeIfFits(Bytes data) {
    ByteReader reader(data);
    return data.size() >= 4 ? reader.u32() : 0;
}

void useOverviewArray(const RecordArray& array, VuDownload& out) {
    ByteReader reader(array.data);
    switch (array.type) {
    case 0x0A:
        if (array.count >= 1) out.vin = textWithoutTrailingBlanks(reader.bytes(std::min<std::size_t>(array.size, 17)));
        break;
    case 0x13:
        if (array.data.size() >= 8) {
            out.downloadableFrom = reader.u32();
            out.downloadableTo = reader.u32();
        }
        break;
    case 0x24:
        if (array.data.size() >= 15) {
            out.registrationNation = reader.u8();
            const std::uint8_t codePage = reader.u8();
            out.registrationNumber = decodeCodePagedText(codePage, reader.bytes(13));
            out.hasRegistration = true;
        }
        break;
    case 0x03:
        out.vuTime = timeIfFits(array.data);
        break;
    case 0x0B:
        if (out.registrationNumber.empty() && array.data.size() >= 14) {
            const std::uint8_t codePage = reader.u8();
            out.registrationNumber = decodeCodePagedText(codePage, reader.bytes(13));
        }
        break;
    default:
        break;
    }
}

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
        for (std::uint16_t i = 0; i < array.count; ++i) day.cardRecords.push_back(decodeVuCardIwRecord(reader.bytes(array.size)));
        break;
    default:
        break;
    }
}

std::string message(const char* format, auto... values) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

bool nextIsMarker(const ByteReader& reader) {
    ByteReader look = reader;
    return look.remaining() > 0 && look.u8() == kBlockMarker;
}

}  // namespace

std::string textWithoutTrailingBlanks(Bytes bytes) {
    std::size_t length = bytes.size();
    while (length > 0 && (bytes[length - 1] & 0xDF) == 0) --length;
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

VuDownload decodeVuDownload(Bytes data) {
    VuDownload out;
    ByteReader reader(data);
    auto stop = [&](std::size_t at, std::string reason) {
        out.stoppedAt = at;
        out.stopReason = std::move(reason);
    };
    while (true) {
        if (reader.remaining() == 0) {
            out.complete = true;
            out.stoppedAt = reader.position();
            return out;
        }
        if (!nextIsMarker(reader)) {
            stop(reader.position(), "no block marker 0x76");
            return out;
        }
        if (reader.remaining() == 1) {
            stop(reader.position(), "block marker 0x76 is the last byte");
            return out;
        }
        reader.skip(1);
        const std::uint8_t trep = reader.u8();
        if (trep >= 0x21) out.isGen2Format = true;
        const BlockKind kind = kindOf(trep);
        switch (kind) {
        case BlockKind::Activities: ++out.activityBlocks; break;
        case BlockKind::EventsFaults: ++out.eventFaultBlocks; break;
        case BlockKind::Speed: ++out.speedBlocks; break;
        case BlockKind::Technical: ++out.technicalBlocks; break;
        default: break;
        }

        VuDayBlock day;
        bool framingFault = false;
        while (reader.remaining() > 0 && !nextIsMarker(reader)) {
            const std::size_t header = reader.position();
            if (reader.remaining() < 5) {
                stop(header, message("record array header truncated (TREP 0x%02X, %zu bytes left)", unsigned{trep},
                                     reader.remaining()));
                framingFault = true;
                break;
            }
            RecordArray array;
            array.type = reader.u8();
            array.size = reader.u16();
            array.count = reader.u16();
            const std::size_t total = std::size_t{array.size} * array.count;
            if (total > reader.remaining()) {
                stop(header, message("record array type 0x%02X declares %u records of %u bytes, %zu bytes left",
                                     unsigned{array.type}, unsigned{array.count}, unsigned{array.size},
                                     reader.remaining()));
                framingFault = true;
                break;
            }
            array.data = reader.bytes(total);
            if (kind == BlockKind::Overview) useOverviewArray(array, out);
            if (kind == BlockKind::Activities) useActivitiesArray(array, day);
        }
        // A day cut short by a framing fault still keeps the card stays read before the fault.
        if (kind == BlockKind::Activities) out.days.push_back(std::move(day));
        if (framingFault) return out;
    }
}

}  // namespace ddd
