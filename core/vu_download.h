// A vehicle-unit download decoded as a whole: the vehicle and its unit, every downloaded day,
// events and faults, detailed speed and technical data, of all three layouts (first generation,
// second generation and its second version). Values the unit has not written yet (0x00 or 0xFF
// fillers) are absent, never numbers such as 16777215.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/card_efs.h"

namespace ddd {

// An instant the unit may not have written yet: absent for 0 and 0xFFFFFFFF.
using VuInstant = std::optional<std::int64_t>;
// An odometer reading in km: absent for 0xFFFFFF.
using VuKm = std::optional<std::uint32_t>;

// The layout a block was written in; the TREP byte tells it.
enum class VuGeneration : std::uint8_t { First, Second, SecondV2 };

// A card a record names (FullCardNumber, in the second generation with its generation byte).
struct VuCard {
    std::uint8_t type = 0;  // 1 driver, 2 workshop, 3 control, 4 company
    std::uint8_t nation = 0;
    std::string number;                    // 16 characters as stored, trailing blanks removed
    std::optional<std::uint8_t> generation;  // second-generation records only

    bool operator==(const VuCard&) const = default;
};
// Absent when the record names no card (type 0 or 0xFF, or no number).
using VuCardRef = std::optional<VuCard>;

// One card stay in a slot of the vehicle unit, from the activities block of a downloaded day.
// The finder reads the first fields as stored (0 / 0xFFFFFFFF for a card still inserted, 0xFFFFFF
// for an odometer not yet written); `card` and the rest carry the whole record.
struct VuCardIwRecord {
    std::string surname;
    std::string firstNames;
    std::string cardNumber;  // the first 14 characters: driver identification only
    std::int64_t insertionTime = 0;
    std::uint32_t odometerAtInsertion = 0;
    std::uint8_t slot = 0;  // 0 driver, 1 co-driver
    std::int64_t withdrawalTime = 0;
    std::uint32_t odometerAtWithdrawal = 0;
    VuCardRef card;
    VuInstant cardExpiry;  // a date: shown as its UTC day
    Registration previousVehicle;  // nation 0 and no number: none
    VuInstant previousWithdrawal;
    bool manualInput = false;

    bool operator==(const VuCardIwRecord&) const = default;
};

// A position from the unit's GNSS receiver: the place at `time`, coordinates in the stored
// ±DDMM.M form times ten (1/10 minute of arc); `authenticated` exists in the second version only.
struct VuGnssPlace {
    VuInstant time;
    std::uint8_t accuracy = 0;
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::optional<bool> authenticated;

    bool operator==(const VuGnssPlace&) const = default;
};

// Begin or end of a daily work period entered at the unit.
struct VuPlace {
    VuCardRef card;
    VuInstant entryTime;
    std::uint8_t entryType = 0;
    std::uint8_t country = 0;
    std::uint8_t region = 0;
    VuKm odometer;
    std::optional<VuGnssPlace> gnss;  // second generation

    bool operator==(const VuPlace&) const = default;
};

// A position after each three hours of accumulated driving (second generation).
struct VuGnssAccumulatedDriving {
    VuInstant time;
    VuCardRef driverCard;
    VuCardRef coDriverCard;
    VuGnssPlace place;
    VuKm odometer;

    bool operator==(const VuGnssAccumulatedDriving&) const = default;
};

struct VuSpecificCondition {
    VuInstant time;
    std::uint8_t type = 0;  // 1/2 out of scope begin/end, 3/4 ferry/train begin/end

    bool operator==(const VuSpecificCondition&) const = default;
};

// A border crossing (second version).
struct VuBorderCrossing {
    VuCardRef driverCard;
    VuCardRef coDriverCard;
    std::uint8_t countryLeft = 0;
    std::uint8_t countryEntered = 0;
    VuGnssPlace place;
    VuKm odometer;

    bool operator==(const VuBorderCrossing&) const = default;
};

// A load or unload operation (second version).
struct VuLoadUnload {
    VuInstant time;
    std::uint8_t operation = 0;  // 1 load, 2 unload, 3 simultaneous
    VuCardRef driverCard;
    VuCardRef coDriverCard;
    VuGnssPlace place;
    VuKm odometer;

    bool operator==(const VuLoadUnload&) const = default;
};

// One activities block: one downloaded day.
struct VuDayBlock {
    std::int64_t date = 0;  // 00:00 UTC of the day, 0 when the block holds no date
    std::uint32_t odometerMidnight = 0;
    std::uint32_t activityChangeCount = 0;
    std::vector<VuCardIwRecord> cardRecords;
    // Activity change words: bit 15 slot, 14 crew/driving status, 13 card not inserted,
    // 12-11 activity, 10-0 minute of the day; the first two give both slots at 00:00.
    std::vector<std::uint16_t> activityChanges;
    std::vector<VuPlace> places;
    std::vector<VuGnssAccumulatedDriving> gnssPositions;
    std::vector<VuSpecificCondition> specificConditions;
    std::vector<VuBorderCrossing> borderCrossings;
    std::vector<VuLoadUnload> loadUnloads;

    bool operator==(const VuDayBlock&) const = default;
};

struct VuDownloadActivity {
    VuInstant time;
    VuCardRef card;
    std::string companyOrWorkshop;

    bool operator==(const VuDownloadActivity&) const = default;
};

struct VuCompanyLock {
    VuInstant lockIn;
    VuInstant lockOut;  // absent: still locked
    std::string companyName;
    std::string companyAddress;
    VuCardRef card;

    bool operator==(const VuCompanyLock&) const = default;
};

struct VuControl {
    std::uint8_t type = 0;  // flags: see controlTypeName
    VuInstant time;
    VuCardRef card;
    VuInstant periodBegin;
    VuInstant periodEnd;

    bool operator==(const VuControl&) const = default;
};

// An event, a fault or (second generation) a power supply interruption.
struct VuEventFault {
    std::uint8_t type = 0;     // EventFaultType
    std::uint8_t purpose = 0;  // EventFaultRecordPurpose
    VuInstant begin;
    VuInstant end;
    VuCardRef driverBegin, coDriverBegin, driverEnd, coDriverEnd;
    std::optional<std::uint8_t> similarEvents;  // events only

    bool operator==(const VuEventFault&) const = default;
};

struct VuOverspeedControl {
    VuInstant lastControl;
    VuInstant firstOverspeedSince;
    std::uint8_t overspeedsSince = 0;

    bool operator==(const VuOverspeedControl&) const = default;
};

struct VuOverspeedEvent {
    std::uint8_t type = 0;
    std::uint8_t purpose = 0;
    VuInstant begin;
    VuInstant end;
    std::uint8_t maxSpeed = 0;      // km/h
    std::uint8_t averageSpeed = 0;  // km/h
    VuCardRef driverBegin;
    std::uint8_t similarEvents = 0;

    bool operator==(const VuOverspeedEvent&) const = default;
};

struct VuTimeAdjustment {
    VuInstant oldTime;
    VuInstant newTime;
    std::string workshopName;
    std::string workshopAddress;
    VuCardRef workshopCard;

    bool operator==(const VuTimeAdjustment&) const = default;
};

// Whether the driver of a card allowed Intelligent Transport Systems to use the unit's data
// (second generation).
struct VuItsConsent {
    VuCardRef card;
    bool consent = false;

    bool operator==(const VuItsConsent&) const = default;
};

// Serial number of a unit, a motion sensor or a GNSS facility.
struct VuSerial {
    std::uint32_t serial = 0;
    std::uint8_t month = 0;  // of manufacture
    std::uint16_t year = 0;
    std::uint8_t equipmentType = 0;
    std::uint8_t manufacturerCode = 0;

    bool operator==(const VuSerial&) const = default;
};

struct VuIdentification {
    std::string manufacturerName;
    std::string manufacturerAddress;
    std::string partNumber;
    VuSerial serial;
    std::string softwareVersion;
    VuInstant softwareInstallation;
    VuInstant manufacturingDate;  // a date
    std::string approvalNumber;
    std::optional<std::uint8_t> generation;  // second generation
    std::string digitalMapVersion;           // second version

    bool operator==(const VuIdentification&) const = default;
};

// A paired motion sensor or a coupled external GNSS facility.
struct VuPairedDevice {
    VuSerial serial;
    std::string approvalNumber;
    VuInstant pairing;

    bool operator==(const VuPairedDevice&) const = default;
};

struct VuSeal {
    std::uint8_t equipmentType = 0;
    std::uint16_t manufacturerCode = 0;
    std::string identifier;  // 8 bytes as hexadecimal digits

    bool operator==(const VuSeal&) const = default;
};

struct VuCalibration {
    std::uint8_t purpose = 0;
    std::string workshopName;
    std::string workshopAddress;
    VuCardRef workshopCard;
    VuInstant workshopCardExpiry;  // a date
    std::string vin;
    Registration registration;
    std::uint16_t w = 0;  // imp/km
    std::uint16_t k = 0;  // imp/km
    std::uint16_t l = 0;  // 1/8 mm
    std::string tyreSize;
    std::uint8_t authorisedSpeed = 0;  // km/h
    VuKm oldOdometer;
    VuKm newOdometer;
    VuInstant oldTime;
    VuInstant newTime;
    VuInstant nextCalibration;  // a date
    std::vector<VuSeal> seals;  // second generation
    // Second version: the devices paired at the end of the calibration (absent: none), the
    // default load type (0 undefined, 1 goods, 2 passengers) and where it took place.
    std::optional<VuSerial> sensorSerial;
    std::optional<VuSerial> gnssSerial;
    std::optional<VuSerial> remoteCommunicationSerial;
    std::uint8_t defaultLoadType = 0;
    std::uint8_t country = 0;
    VuInstant countryTime;

    bool operator==(const VuCalibration&) const = default;
};

// Block kinds in download order.
enum class VuBlockKind : std::uint8_t { Overview, Activities, EventsFaults, DetailedSpeed, TechnicalData, Unknown };

// Where a block sits in the file and what its signature covers, for the signature check: the
// signed bytes are [signedBegin, signedEnd) of the file, the signature follows them.
struct VuBlock {
    std::uint8_t trep = 0;
    VuBlockKind kind = VuBlockKind::Unknown;
    std::size_t offset = 0;  // of the 0x76 marker
    std::size_t end = 0;     // one past the block's last byte read
    bool whole = false;      // read to its end
    std::size_t signedBegin = 0;
    std::size_t signedEnd = 0;
    std::vector<std::uint8_t> signature;  // empty: none found
    std::size_t dayIndex = 0;              // activities: the index into `days`
};

// One minute of detailed speed: 60 speeds in km/h, one per second from `begin` (TimeReal).
// Kept as 64 bytes, as stored: a 24-hour day is 1440 of them.
struct VuSpeedMinute {
    std::uint32_t begin = 0;
    std::array<std::uint8_t, 60> speeds{};

    bool operator==(const VuSpeedMinute&) const = default;
};

struct VuDownload {
    // What the finder reads, instants and odometers as stored (0 when the overview has none;
    // see isEmptyTime and isEmptyOdometer).
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

    // Overview.
    std::optional<VuGeneration> generation;  // of the overview, or of the first block
    std::vector<std::uint8_t> memberStateCertificate;
    std::vector<std::uint8_t> vuCertificate;
    std::optional<std::uint8_t> cardSlots;  // low nibble driver slot, high nibble co-driver slot
    std::optional<VuDownloadActivity> lastDownload;
    std::vector<VuCompanyLock> companyLocks;
    std::vector<VuControl> controls;
    // Events and faults.
    std::vector<VuEventFault> faults;
    std::vector<VuEventFault> events;
    std::optional<VuOverspeedControl> overspeedControl;
    std::vector<VuOverspeedEvent> overspeedEvents;
    std::vector<VuTimeAdjustment> timeAdjustments;
    std::vector<VuEventFault> powerInterruptions;  // second generation's technical data
    // Detailed speed, in stored order.
    std::vector<VuSpeedMinute> speed;
    // Technical data.
    std::optional<VuIdentification> identification;
    std::vector<VuPairedDevice> sensors;
    std::vector<VuPairedDevice> gnssFacilities;
    std::vector<VuCalibration> calibrations;
    std::vector<VuCard> cardsUsed;  // second generation: every card inserted into the unit
    std::vector<VuItsConsent> itsConsents;  // second generation

    std::vector<VuBlock> blocks;  // every block met, in file order
    // German sentences, one for each part that could not be read as it should: a cut-off block,
    // an unknown block, a record array of a wrong size. What came before is kept.
    std::vector<std::string> problems;
};

// Scans a vehicle-unit download block by block. Never fails: a framing fault ends the scan and
// everything gathered up to it is kept.
VuDownload decodeVuDownload(Bytes data);

// German name of a block kind with its generation: "Übersicht (2. Generation)".
std::string vuBlockName(const VuBlock& block);

// VINs and card numbers keep their bytes as stored and lose only trailing 0x00/0x20.
std::string textWithoutTrailingBlanks(Bytes bytes);

// One card insertion/withdrawal record of `record.size()` bytes, of a second-generation (0x0D
// record array) or a first-generation download; fields the record is too short to hold stay
// zero or empty.
VuCardIwRecord decodeVuCardIwRecordGen2(Bytes record);
VuCardIwRecord decodeVuCardIwRecordGen1(Bytes record);
inline constexpr std::size_t kVuCardIwRecordSizeGen1 = 129;

}  // namespace ddd
