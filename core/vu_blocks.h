// Block and record readers of a vehicle-unit download, shared by the block scan (vu_download.cpp)
// and the files that know one block's records. Not for use outside the decoder.
#pragma once

#include <array>
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

// Where the records of the block being read go: the download, and for an activities block its day.
struct Sink {
    VuDownload& out;
    VuDayBlock* day = nullptr;
};

// Decodes one record from a reader over exactly the record's bytes, in the layout of `generation`.
using RecordDecoder = void (*)(ByteReader& record, VuGeneration generation, Sink& sink);

// A record type of the download: its size in each generation (0: not in that generation) and
// its decoder. The second generation names every record array by this type; the first
// generation's fixed structures hold the same records.
struct RecordLayout {
    std::uint8_t type = 0;
    std::array<std::uint16_t, 3> size{};  // indexed by VuGeneration
    RecordDecoder decode = nullptr;
    bool perDay = false;  // belongs to a downloaded day: only read inside an activities block
};

// The layout of a record type this decoder reads, or nothing.
const RecordLayout* recordLayout(std::uint8_t type);

// Record types of the second generation's arrays.
inline constexpr std::uint8_t kActivityChange = 0x01, kCardSlotsStatus = 0x02, kCurrentTime = 0x03,
                              kMemberStateCertificate = 0x04, kOdometerMidnight = 0x05, kDateOfDay = 0x06,
                              kSignature = 0x08, kSpecificCondition = 0x09, kVin = 0x0A, kRegistrationNumber = 0x0B,
                              kCalibration = 0x0C, kCardIw = 0x0D, kCardRecord = 0x0E, kVuCertificate = 0x0F,
                              kCompanyLock = 0x10, kControl = 0x11, kDetailedSpeed = 0x12, kDownloadablePeriod = 0x13,
                              kDownloadActivity = 0x14, kEvent = 0x15, kGnssAccumulatedDriving = 0x16, kFault = 0x18,
                              kIdentification = 0x19, kOverspeedControl = 0x1A, kOverspeedEvent = 0x1B,
                              kPlace = 0x1C, kTimeAdjustment = 0x1E, kPowerInterruption = 0x1F,
                              kSensorPaired = 0x20, kGnssCoupled = 0x21, kBorderCrossing = 0x22, kLoadUnload = 0x23, kItsConsent = 0x17,
                              kRegistration = 0x24;

// Reads a first-generation block piece by piece in layout order. The first piece that does not
// fit into the rest of the file records where and why; from then on every read yields nothing,
// so a block decoder keeps exactly the fields that came before the cut.
class FixedBlockReader {
public:
    FixedBlockReader(ByteReader& reader, const char* block, Sink& sink)
        : reader_(reader), block_(block), sink_(sink), signedBegin_(reader.position()) {}

    // The next `size` bytes of a fixed field; empty once something did not fit.
    Bytes field(std::size_t size, const char* what);
    // A count of `countSize` bytes followed by that many records of `recordSize` bytes.
    std::optional<CountedRecords> records(std::size_t countSize, std::size_t recordSize, const char* what);
    // A field of one record of `type`, decoded into the sink.
    void record(std::uint8_t type, const char* what);
    // A counted list of records of `type`, each decoded into the sink.
    void list(std::size_t countSize, std::uint8_t type, const char* what);
    // The signed data starts here (after the certificates of an overview).
    void startSigned() { signedBegin_ = reader_.position(); }
    // The 128-byte signature that ends every block.
    void signature(VuBlock& block);

    const std::optional<BlockStop>& stop() const { return stop_; }
    Sink& sink() { return sink_; }

private:
    ByteReader& reader_;
    const char* block_;
    Sink& sink_;
    std::size_t signedBegin_;
    std::optional<BlockStop> stop_;
};

// First generation: one block each, read from just after its TREP byte.
void readOverviewGen1(FixedBlockReader& block);
void readActivitiesGen1(FixedBlockReader& block);
void readEventsFaultsGen1(FixedBlockReader& block);
void readDetailedSpeedGen1(FixedBlockReader& block);
void readTechnicalDataGen1(FixedBlockReader& block);

// Field readers shared by the records of every block.
VuInstant instant(ByteReader& reader);
VuKm kilometres(ByteReader& reader);
VuCardRef card(ByteReader& reader, VuGeneration generation);  // 18 or 19 bytes
std::string name(ByteReader& reader);                          // code page + 35 bytes
std::string ia5(ByteReader& reader, std::size_t size);         // printable text, blanks trimmed
Registration registration(ByteReader& reader);                 // 15 bytes
VuSerial serial(ByteReader& reader);                            // 8 bytes
VuGnssPlace gnssPlace(ByteReader& reader, VuGeneration generation);  // 11 or 12 bytes

// The record decoders, one per record type, in the files of their blocks.
void decodeVin(ByteReader& r, VuGeneration g, Sink& s);
void decodeRegistration(ByteReader& r, VuGeneration g, Sink& s);
void decodeRegistrationNumber(ByteReader& r, VuGeneration g, Sink& s);
void decodeCurrentTime(ByteReader& r, VuGeneration g, Sink& s);
void decodeDownloadablePeriod(ByteReader& r, VuGeneration g, Sink& s);
void decodeCardSlots(ByteReader& r, VuGeneration g, Sink& s);
void decodeDownloadActivity(ByteReader& r, VuGeneration g, Sink& s);
void decodeCompanyLock(ByteReader& r, VuGeneration g, Sink& s);
void decodeControl(ByteReader& r, VuGeneration g, Sink& s);
void decodeDateOfDay(ByteReader& r, VuGeneration g, Sink& s);
void decodeOdometerMidnight(ByteReader& r, VuGeneration g, Sink& s);
void decodeCardIw(ByteReader& r, VuGeneration g, Sink& s);
void decodeActivityChange(ByteReader& r, VuGeneration g, Sink& s);
void decodePlace(ByteReader& r, VuGeneration g, Sink& s);
void decodeGnssAccumulatedDriving(ByteReader& r, VuGeneration g, Sink& s);
void decodeSpecificCondition(ByteReader& r, VuGeneration g, Sink& s);
void decodeBorderCrossing(ByteReader& r, VuGeneration g, Sink& s);
void decodeLoadUnload(ByteReader& r, VuGeneration g, Sink& s);
void decodeFault(ByteReader& r, VuGeneration g, Sink& s);
void decodeEvent(ByteReader& r, VuGeneration g, Sink& s);
void decodePowerInterruption(ByteReader& r, VuGeneration g, Sink& s);
void decodeOverspeedControl(ByteReader& r, VuGeneration g, Sink& s);
void decodeOverspeedEvent(ByteReader& r, VuGeneration g, Sink& s);
void decodeTimeAdjustment(ByteReader& r, VuGeneration g, Sink& s);
void decodeSpeedMinute(ByteReader& r, VuGeneration g, Sink& s);
void decodeIdentification(ByteReader& r, VuGeneration g, Sink& s);
void decodeSensorPaired(ByteReader& r, VuGeneration g, Sink& s);
void decodeGnssCoupled(ByteReader& r, VuGeneration g, Sink& s);
void decodeCalibration(ByteReader& r, VuGeneration g, Sink& s);
void decodeCardRecord(ByteReader& r, VuGeneration g, Sink& s);
void decodeItsConsent(ByteReader& r, VuGeneration g, Sink& s);

// The big-endian number held by 1 to 4 bytes (0 for none).
std::uint32_t numberOf(Bytes bytes);

}  // namespace ddd::vu
