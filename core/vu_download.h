// What the driver finder needs from a vehicle-unit download: the vehicle's identity, the
// downloaded period and, per downloaded day, the card insertions and withdrawals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/card_efs.h"

namespace ddd {

// One card stay in a slot of the vehicle unit, from the activities block of a downloaded day.
struct VuCardIwRecord {
    std::string surname;
    std::string firstNames;
    std::string cardNumber;  // the first 14 characters: driver identification only
    std::int64_t insertionTime = 0;
    std::uint32_t odometerAtInsertion = 0;
    std::uint8_t slot = 0;  // 0 driver, 1 co-driver
    std::int64_t withdrawalTime = 0;
    std::uint32_t odometerAtWithdrawal = 0;
};

// One activities block: one downloaded day.
struct VuDayBlock {
    std::int64_t date = 0;
    std::uint32_t odometerMidnight = 0;
    std::uint32_t activityChangeCount = 0;
    std::vector<VuCardIwRecord> cardRecords;
};

struct VuDownload {
    bool isGen2Format = false;
    std::string vin;
    std::string registrationNumber;
    std::uint8_t registrationNation = 0;
    bool hasRegistration = false;
    std::int64_t vuTime = 0;
    std::int64_t downloadableFrom = 0;
    std::int64_t downloadableTo = 0;
    std::uint32_t activityBlocks = 0;
    std::uint32_t eventFaultBlocks = 0;
    std::uint32_t speedBlocks = 0;
    std::uint32_t technicalBlocks = 0;
    std::vector<VuDayBlock> days;
    std::uint32_t wholeBlocks = 0;  // blocks of a known kind read to their end: none in other files
    bool complete = false;  // the scan reached the exact end of the data without a framing fault
    std::uint64_t stoppedAt = 0;  // byte offset where the scan ended
    std::string stopReason;       // English; empty when complete
};

// Scans a vehicle-unit download block by block. Never fails: a framing fault ends the scan and
// everything gathered up to it is kept.
VuDownload decodeVuDownload(Bytes data);

// VINs and card numbers keep their bytes as stored and lose only trailing 0x00/0x20.
std::string textWithoutTrailingBlanks(Bytes bytes);

// One card insertion/withdrawal record of `record.size()` bytes, of a second-generation (0x0D
// record array) or a first-generation download; fields the record is too short to hold stay
// zero or empty.
VuCardIwRecord decodeVuCardIwRecordGen2(Bytes record);
VuCardIwRecord decodeVuCardIwRecordGen1(Bytes record);
inline constexpr std::size_t kVuCardIwRecordSizeGen1 = 129;

}  // namespace ddd
