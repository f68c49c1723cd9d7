// Block readers of a vehicle-unit download, shared by the block scan (vu_download.cpp) and the
// files that know one block's layout. Not for use outside the decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/byte_reader.h"
#include "core/vu_download.h"

namespace ddd::vu {

// One record array of a second-generation block: record type, record size, number of records
// and the size * number bytes of the records.
struct RecordArray {
    std::uint8_t type = 0;
    std::uint16_t size = 0;
    std::uint16_t count = 0;
    Bytes data;
};

// Where and why a block ended the scan.
struct BlockStop {
    std::size_t at = 0;
    std::string reason;
};

// Records of a first-generation counted list: the count as stored and the bytes of the records.
struct CountedRecords {
    std::uint32_t count = 0;
    Bytes data;
};

// Reads a first-generation block piece by piece in layout order. The first piece that does not
// fit into the rest of the file records where and why; from then on every read yields nothing,
// so a block decoder keeps exactly the fields that came before the cut.
class FixedBlockReader {
public:
    FixedBlockReader(ByteReader& reader, const char* block) : reader_(reader), block_(block) {}

    // The next `size` bytes of a fixed field; empty once something did not fit.
    Bytes field(std::size_t size, const char* what);
    // A count of `countSize` bytes followed by that many records of `recordSize` bytes.
    std::optional<CountedRecords> records(std::size_t countSize, std::size_t recordSize, const char* what);

    const std::optional<BlockStop>& stop() const { return stop_; }

private:
    ByteReader& reader_;
    const char* block_;
    std::optional<BlockStop> stop_;
};

// Second generation: the use made of one record array of an overview or an activities block.
void useOverviewArray(const RecordArray& array, VuDownload& out);
void useActivitiesArray(const RecordArray& array, VuDayBlock& day);

// First generation: one block each, read from just after its TREP byte.
void readOverviewGen1(FixedBlockReader& block, VuDownload& out);
VuDayBlock readActivitiesGen1(FixedBlockReader& block);
void readEventsFaultsGen1(FixedBlockReader& block);
void readDetailedSpeedGen1(FixedBlockReader& block);
void readTechnicalDataGen1(FixedBlockReader& block);

// The big-endian number held by 1 to 4 bytes (0 for none).
std::uint32_t numberOf(Bytes bytes);
// The TimeReal at the start of a record array's data, or 0 when it holds fewer than 4 bytes.
std::int64_t timeIfFits(Bytes data);

}  // namespace ddd::vu
