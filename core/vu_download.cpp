// Block scan of a vehicle-unit download. The file is a sequence of blocks, each the marker 0x76
// and a TREP byte naming the block:
//   TREP 0x21-0x25, 0x31-0x35 (second generation) and unknown TREPs: record arrays up to the next
//     0x76 at an array position: record type 1, record size 2, number of records 2, then
//     size * number bytes of records (vu_overview.cpp and vu_activities.cpp use them).
//   TREP 0x01-0x05 (first generation): fixed structures whose counted lists give the block's
//     length (vu_overview.cpp, vu_activities.cpp, vu_events_faults.cpp, vu_detailed_speed.cpp,
//     vu_technical_data.cpp).
// A first-generation block has no record arrays that could tell where an unknown block after it
// ends, so an unknown TREP after one ends the scan.
#include <cstdio>

#include "core/vu_blocks.h"

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

bool isFirstGeneration(std::uint8_t trep) { return trep >= 0x01 && trep <= 0x05; }

std::string message(const char* format, auto... values) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

bool nextIsMarker(const ByteReader& reader) {
    ByteReader look = reader;
    return look.remaining() > 0 && look.u8() == kBlockMarker;
}

// Reads one first-generation block; the day of an activities block is kept even when the block
// is cut short, as for the second generation.
std::optional<vu::BlockStop> readFixedBlock(BlockKind kind, ByteReader& reader, VuDownload& out) {
    switch (kind) {
    case BlockKind::Overview: {
        vu::FixedBlockReader block(reader, "first-generation overview");
        vu::readOverviewGen1(block, out);
        return block.stop();
    }
    case BlockKind::Activities: {
        vu::FixedBlockReader block(reader, "first-generation activities");
        out.days.push_back(vu::readActivitiesGen1(block));
        return block.stop();
    }
    case BlockKind::EventsFaults: {
        vu::FixedBlockReader block(reader, "first-generation events and faults");
        vu::readEventsFaultsGen1(block);
        return block.stop();
    }
    case BlockKind::Speed: {
        vu::FixedBlockReader block(reader, "first-generation detailed speed");
        vu::readDetailedSpeedGen1(block);
        return block.stop();
    }
    case BlockKind::Technical: {
        vu::FixedBlockReader block(reader, "first-generation technical data");
        vu::readTechnicalDataGen1(block);
        return block.stop();
    }
    case BlockKind::Unknown: break;
    }
    return std::nullopt;
}

}  // namespace

namespace vu {

Bytes FixedBlockReader::field(std::size_t size, const char* what) {
    if (stop_) return {};
    if (size > reader_.remaining()) {
        stop_ = BlockStop{reader_.position(), message("%s: %s needs %zu bytes, %zu left", block_, what, size,
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
        stop_ = BlockStop{at, message("%s: %s: %u records of %zu bytes, %zu bytes left", block_, what, unsigned{count},
                                      recordSize, reader_.remaining())};
        return std::nullopt;
    }
    return CountedRecords{count, reader_.bytes(total)};
}

std::uint32_t numberOf(Bytes bytes) {
    ByteReader reader(bytes);
    std::uint32_t value = 0;
    while (reader.remaining() > 0) value = (value << 8) | reader.u8();
    return value;
}

std::int64_t timeIfFits(Bytes data) {
    ByteReader reader(data);
    return data.size() >= 4 ? reader.u32() : 0;
}

}  // namespace vu

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
    bool afterFirstGeneration = false;
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
        const std::size_t blockStart = reader.position();
        reader.skip(1);
        const std::uint8_t trep = reader.u8();
        const BlockKind kind = kindOf(trep);
        if (kind == BlockKind::Unknown && afterFirstGeneration) {
            stop(blockStart, message("unknown TREP 0x%02X after a first-generation block", unsigned{trep}));
            return out;
        }
        if (trep >= 0x21) out.isGen2Format = true;
        switch (kind) {
        case BlockKind::Activities: ++out.activityBlocks; break;
        case BlockKind::EventsFaults: ++out.eventFaultBlocks; break;
        case BlockKind::Speed: ++out.speedBlocks; break;
        case BlockKind::Technical: ++out.technicalBlocks; break;
        default: break;
        }

        if (isFirstGeneration(trep)) {
            afterFirstGeneration = true;
            if (auto fault = readFixedBlock(kind, reader, out)) {
                stop(fault->at, std::move(fault->reason));
                return out;
            }
            ++out.wholeBlocks;
            continue;
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
            vu::RecordArray array;
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
            if (kind == BlockKind::Overview) vu::useOverviewArray(array, out);
            if (kind == BlockKind::Activities) vu::useActivitiesArray(array, day);
        }
        // A day cut short by a framing fault still keeps the card stays read before the fault.
        if (kind == BlockKind::Activities) out.days.push_back(std::move(day));
        if (framingFault) return out;
        if (kind != BlockKind::Unknown) ++out.wholeBlocks;
    }
}

}  // namespace ddd
