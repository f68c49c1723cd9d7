// Plain description of a vehicle unit's download: the vehicle, its downloaded days and the card
// stays in its slots. Every member has a usable default so a test states only its scenario.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/generator/card_description.h"

namespace ddd::gen {

// One card stay in a slot: from insertion to withdrawal.
struct VuCardStay {
    Text surname = "Muster";
    Text firstNames = "Erika";
    std::uint8_t cardType = 1;  // driver card
    std::uint8_t cardNation = 13;
    std::string cardNumber = "DF00000000001100";  // 16 characters, padded with spaces if shorter
    std::uint8_t cardGeneration = 2;
    std::int64_t cardExpiry = 1798675200;
    std::int64_t insertion = 0;
    int odometerAtInsertion = 0;
    int slot = 0;  // 0 driver, 1 co-driver
    std::int64_t withdrawal = 0;  // written as given; 0 or 0xFFFFFFFF for a card still inserted
    int odometerAtWithdrawal = 0;
};

// One downloaded day: an activities block.
struct VuDay {
    std::int64_t date = 0;  // 00:00 UTC of the day
    bool writeDate = true;  // false: the block carries no date record (first generation: date 0)
    int odometerMidnight = 0;
    int activityChanges = 1;  // number of activity change words written
    std::vector<VuCardStay> stays;
};

// The record-array layouts of the second generation (TREP 0x21-0x25 and, version 2, 0x31-0x35);
// Gen1Fixed writes the first generation's fixed structures (TREP 0x01-0x05) instead.
enum class VuLayout { Gen2, Gen2v2, Gen1Fixed };

// Which overview records carry the registration; a first-generation overview always holds the
// registration identification alone.
enum class VuRegistrationRecords { Identification, NumberOnly, Both, None };

// A deliberate defect written into the download.
struct VuFault {
    enum class Kind {
        TruncateAt,       // cut the file to `value` bytes
        UnknownBlock,     // a block with TREP `value` (record arrays inside) after block `block`
        CountPastEnd,     // the card-record array of day `block` declares more records than fit
        MarkerAtEnd,      // a lone 0x76 appended
        TrailingGarbage,  // `value` bytes that are not a block appended
    };
    Kind kind = Kind::TruncateAt;
    std::int64_t value = 0;
    int block = 0;

    static VuFault truncateAt(std::int64_t size) { return {Kind::TruncateAt, size, 0}; }
    static VuFault unknownBlock(int afterBlock, std::uint8_t trep) { return {Kind::UnknownBlock, trep, afterBlock}; }
    static VuFault countPastEnd(int day) { return {Kind::CountPastEnd, 0, day}; }
    static VuFault markerAtEnd() { return {Kind::MarkerAtEnd, 0, 0}; }
    static VuFault trailingGarbage(int bytes) { return {Kind::TrailingGarbage, bytes, 0}; }
};

struct VuDescription {
    VuLayout layout = VuLayout::Gen2;
    std::string vin = "WDB9634031L123456";  // 17 bytes, padded with spaces if shorter
    Registration registration{13, Text("M AB 123")};
    VuRegistrationRecords registrationRecords = VuRegistrationRecords::Identification;
    std::int64_t vuTime = 0;
    std::int64_t downloadableFrom = 0;
    std::int64_t downloadableTo = 0;
    std::vector<VuDay> days;  // one activities block each, in this order
    // Blocks the finder does not read, written after the days with plausible filler content.
    int eventFaultBlocks = 1;
    int speedBlocks = 1;
    int speedMinutes = 60;  // records of detailed speed per speed block
    int technicalBlocks = 1;
    std::uint64_t fillerSeed = 1;  // filler bytes include 0x76 so that framing is put to the test
    std::vector<VuFault> inject;
};

}  // namespace ddd::gen
