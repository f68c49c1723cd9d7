// Plain description of a vehicle unit's download: the vehicle, its downloaded days and the card
// stays in its slots, and everything else a unit records. Every member has a usable default so a
// test states only its scenario. The content beyond the finder's is given in the decoder's own
// value types (core/vu_download.h, plain data), which the writer encodes on its own, so that a
// decoded download can be compared with its description as a whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/vu_download.h"
#include "tools/generator/card_description.h"
#include "tools/generator/test_pki.h"

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

// The activity change words of a unit's day from one text per slot, in the form of dayFromText
// ("00:00 rest+absent 10:00 drive+absent 10:45 work"; "+absent": no card in the slot): both
// slots' 00:00 words first, then the other changes by minute, driver slot first.
std::vector<std::uint16_t> vuChangeWords(std::string_view driverSlot, std::string_view coDriverSlot);

// One downloaded day: an activities block.
struct VuDay {
    std::int64_t date = 0;  // 00:00 UTC of the day
    bool writeDate = true;  // false: the block carries no date record (first generation: date 0)
    int odometerMidnight = 0;
    int activityChanges = 1;  // number of activity change words written when `changeWords` is empty
    std::vector<VuCardStay> stays;
    std::vector<std::uint16_t> changeWords = {};
    std::vector<VuPlace> places = {};
    std::vector<VuGnssAccumulatedDriving> gnssPositions = {};  // second generation
    std::vector<VuSpecificCondition> specificConditions = {};
    std::vector<VuBorderCrossing> borderCrossings = {};  // second version
    std::vector<VuLoadUnload> loadUnloads = {};          // second version
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
        WrongRecordSize,  // second generation: day `block`'s specific conditions declare 1-byte records
        ZeroSizeRecords,  // second generation: day `block` holds border crossings of 0 bytes each
    };
    Kind kind = Kind::TruncateAt;
    std::int64_t value = 0;
    int block = 0;

    static VuFault truncateAt(std::int64_t size) { return {Kind::TruncateAt, size, 0}; }
    static VuFault unknownBlock(int afterBlock, std::uint8_t trep) { return {Kind::UnknownBlock, trep, afterBlock}; }
    static VuFault countPastEnd(int day) { return {Kind::CountPastEnd, 0, day}; }
    static VuFault markerAtEnd() { return {Kind::MarkerAtEnd, 0, 0}; }
    static VuFault trailingGarbage(int bytes) { return {Kind::TrailingGarbage, bytes, 0}; }
    static VuFault wrongRecordSize(int day) { return {Kind::WrongRecordSize, 0, day}; }
    static VuFault zeroSizeRecords(int day) { return {Kind::ZeroSizeRecords, 0, day}; }
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
    std::optional<std::uint8_t> cardSlots;
    std::optional<VuDownloadActivity> lastDownload;
    std::vector<VuCompanyLock> companyLocks;
    std::vector<VuControl> controls;
    // Blocks the finder does not read, written after the days; each block holds all of its lists.
    int eventFaultBlocks = 1;
    std::vector<VuEventFault> faults;
    std::vector<VuEventFault> events;
    std::optional<VuOverspeedControl> overspeedControl;
    std::vector<VuOverspeedEvent> overspeedEvents;
    std::vector<VuTimeAdjustment> timeAdjustments;
    int speedBlocks = 1;
    int speedMinutes = 60;  // minutes of detailed speed per speed block when `speed` is empty
    std::vector<VuSpeedMinute> speed;
    int technicalBlocks = 1;
    std::optional<VuIdentification> identification;
    std::vector<VuPairedDevice> sensors;
    std::vector<VuPairedDevice> gnssFacilities;  // second generation
    std::vector<VuCalibration> calibrations;
    std::vector<VuCard> cardsUsed;                    // second generation
    std::vector<VuItsConsent> itsConsents;            // second generation
    std::vector<VuEventFault> powerInterruptions;     // second generation
    std::uint64_t fillerSeed = 1;  // speeds and certificates when unsigned include 0x76, so framing is put to the test
    // How the unit wrote values it had not written yet: 0x00 or 0xFF in every byte.
    std::uint8_t unwrittenFill = 0x00;
    // The unit's keys: the first-generation one signs with RSA, the second-generation one with
    // ECDSA. Without them the blocks carry no signature (first generation: 128 zero bytes).
    std::optional<Gen1Signing> gen1Signing;
    std::optional<Gen2Signing> gen2Signing;
    std::vector<VuFault> inject;
};

// A description with every section filled: two days with a crew, a card still inserted, places,
// positions, conditions, crossings and loads; events, faults, overspeeding, time adjustments,
// power interruptions; speed; the unit, its sensor and GNSS facility, two calibrations with seals.
VuDescription fullVuDescription(VuLayout layout);

}  // namespace ddd::gen
