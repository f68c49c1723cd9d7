// Plain description of a driver card's content, from which the generator writes a card download.
// Every member has a usable default so a test states only what its scenario is about.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/generator/test_pki.h"

namespace ddd::gen {

// Gen1: appendix 0/1 records only; Gen2: appendix 2/3 only; Both: a second-generation card's
// download, which carries the first-generation application as well.
enum class Generation { Gen1, Gen2, Both };

// Activity codes of the change word.
inline constexpr int kRest = 0;
inline constexpr int kAvailability = 1;
inline constexpr int kWork = 2;
inline constexpr int kDriving = 3;

struct ActivityChange {
    int minute = 0;       // minute of the UTC day; values up to 2047 fit the 11-bit field
    int activity = kRest; // 0 rest, 1 availability, 2 work, 3 driving
    bool coDriver = false;   // bit 15, slot
    bool crew = false;       // bit 14, driving status
    bool cardAbsent = false; // bit 13, card not inserted
};

// One calendar day record of the activity buffer.
struct Day {
    std::int64_t date = 0; // UTC seconds of 00:00, written as given (tests may misalign it)
    int presenceCounter = 0; // written as 4 BCD digits
    int distanceKm = 0;
    std::vector<ActivityChange> changes;
    std::optional<std::vector<std::uint16_t>> rawWords;   // written instead of `changes`
    std::optional<std::uint16_t> rawPresenceCounter;      // written as is, e.g. invalid BCD
};

// A code-paged text: UTF-8 encoded into the code page on writing, or raw field bytes.
struct Text {
    std::string utf8;
    std::uint8_t codePage = 1;
    std::optional<std::vector<std::uint8_t>> raw; // the field's text bytes, padded with 0x20

    Text() = default;
    Text(const char* s, std::uint8_t cp = 1) : utf8(s), codePage(cp) {}
    Text(std::string s, std::uint8_t cp = 1) : utf8(std::move(s)), codePage(cp) {}
};

struct Registration {
    std::uint8_t nation = 0;
    Text plate;
};

// A BCD date (Datef); all zero means "no date".
struct BcdDay {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct Identity {
    std::uint8_t issuingNation = 13;
    std::string cardNumber = "DF00000000001100"; // 16 characters, padded with spaces if shorter
    Text issuingAuthority = "Kraftfahrt-Bundesamt";
    std::int64_t issueDate = 1640995200;     // 2022-01-01
    std::int64_t validityBegin = 1640995200; // 2022-01-01
    std::int64_t expiryDate = 1798675200;    // 2027-01-01
    Text surname = "Muster";
    Text firstNames = "Erika";
    BcdDay birthDate{1980, 5, 17};
    std::optional<std::array<std::uint8_t, 4>> rawBirthDate;
    std::string preferredLanguage = "de"; // two bytes, padded with 0x00
};

struct VehicleUse {
    int odometerBegin = 0;
    int odometerEnd = 0;
    std::int64_t firstUse = 0;
    std::int64_t lastUse = 0;
    Registration registration;
    int vuDataBlockCounter = 0; // 4 BCD digits
    std::string vin;            // second generation only; 17 bytes padded with spaces
};

struct Place {
    std::int64_t time = 0;
    int entryType = 0; // 0 begin, 1 end of the daily work period, others as given
    std::uint8_t country = 13;
    std::uint8_t region = 0;
    int odometer = 0;
    // Second generation only:
    std::int64_t gnssTime = 0;
    int gnssAccuracy = 0;
    int latitude = 0;  // signed, written as 24-bit two's complement
    int longitude = 0;
};

struct EventFaultRecord {
    int type = 0;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    Registration vehicle;
    int group = -1; // -1: chosen from the type (see eventGroup / faultGroup)
};

struct ControlActivity {
    int controlType = 0;
    std::int64_t time = 0;
    int cardType = 0;
    std::uint8_t cardNation = 0;
    std::string cardNumber;
    Registration vehicle;
    std::int64_t downloadBegin = 0;
    std::int64_t downloadEnd = 0;
};

struct CurrentUsage {
    std::int64_t sessionOpen = 0;
    Registration vehicle;
};

struct DrivingLicence {
    Text authority = "Landratsamt Musterstadt";
    std::uint8_t nation = 13;
    std::string number = "B072RRE2K11"; // 16 bytes, padded with spaces
};

struct SpecificCondition {
    std::int64_t time = 0;
    int type = 0;
};

// ---- Second version of the second generation ----

// A GNSS position: coordinates in the stored ±DDMM.M / ±DDDMM.M form times ten.
struct GnssPoint {
    std::int64_t time = 0;
    int accuracy = 10;
    int latitude = 0;
    int longitude = 0;
    int authentication = 1; // 1 authenticated, 0 not
};

struct BorderCrossing {
    std::uint8_t countryLeft = 13;
    std::uint8_t countryEntered = 13;
    GnssPoint position; // its time is the time of the crossing
    int odometer = 0;
};

struct LoadOperation {
    std::int64_t time = 0;
    int operation = 1; // 1 load, 2 unload, 3 both
    GnssPoint position;
    int odometer = 0;
};

struct LoadTypeEntry {
    std::int64_t time = 0;
    int loadType = 1;
};

// Authentication status of a place or of an accumulated-driving position, by its time.
struct AuthenticationStatus {
    std::int64_t time = 0;
    int status = 1;
};

// Sizes of one application's files, as a card announces them in Application_Identification.
struct Capacities {
    int activityBytes = 13776; // size of the activity EF's cyclic area
    int vehicles = 84;
    int places = 112;
    int eventsPerType = 12;
    int faultsPerType = 24;
    int specificConditions = 56;
    int gnssRecords = 0;  // second generation only
    int vehicleUnits = 0; // second generation only
    int activityStartOffset = 0; // where the first written day record begins in the cyclic area
    // Second version only:
    int borderCrossings = 1120;
    int loadOperations = 1624;
    int loadTypeEntries = 336;
    int vuConfigurationBytes = 3072;
};

Capacities defaultCapacities(Generation g); // Gen1 or Gen2 (Both gives Gen2)

// A deliberate defect written into the download, for tests of malformed input.
struct Fault {
    enum class Kind {
        TruncateAt,          // cut the file to `value` bytes
        BadAppendix,         // appendix byte of (fid, part) becomes `value`
        ReservedLength,      // length field of (fid, part) becomes 0xFFFF
        LengthPastEnd,       // length of (fid, part) declares `value` bytes more than the file holds
        ResizeEf,            // EF value cut or zero-padded to `value` bytes
        PatchEf,             // `bytes` written into the EF value at offset `value`
        OmitEf,              // record (and its signature) left out
        DuplicateEf,         // record written twice; the copy carries `bytes` if given
        PreviousLength,      // previous-record length of day `day` written as `value` (-1: true length + 2)
        RecordLength,        // this-record length of day `day` written as `value`
        MinuteOutOfRange,    // last change of day `day` gets minute `value` (default 1440)
        SwapSignature,       // signature of (fid, part) exchanged with the one of EF `value`
    };
    Kind kind = Kind::TruncateAt;
    std::uint16_t fid = 0;
    Generation part = Generation::Both; // which application's record: Gen1, Gen2 or both
    std::int64_t value = 0;
    int day = 0; // index into CardDescription::days
    std::vector<std::uint8_t> bytes;

    static Fault truncateAt(std::int64_t size);
    static Fault badAppendix(std::uint16_t fid, Generation part, std::uint8_t appendix);
    static Fault reservedLength(std::uint16_t fid, Generation part);
    static Fault lengthPastEnd(std::uint16_t fid, Generation part, int extra = 1);
    static Fault resizeEf(std::uint16_t fid, Generation part, int size);
    static Fault patchEf(std::uint16_t fid, Generation part, int offset, std::vector<std::uint8_t> bytes);
    static Fault omitEf(std::uint16_t fid, Generation part);
    static Fault duplicateEf(std::uint16_t fid, Generation part, std::vector<std::uint8_t> copy = {});
    static Fault previousLength(int day, int length = -1, Generation part = Generation::Both);
    static Fault recordLength(int day, int length, Generation part = Generation::Both);
    static Fault minuteOutOfRange(int day, int minute = 1440, Generation part = Generation::Both);
    static Fault swapSignature(std::uint16_t fid, std::uint16_t otherFid, Generation part);
};

struct CardDescription {
    Generation generation = Generation::Gen1;
    Identity identity;
    std::vector<Day> days; // written oldest first, in this order
    std::vector<VehicleUse> vehicles; // in order of use; the last is the newest record
    std::vector<Place> places;        // in order of entry
    std::vector<EventFaultRecord> events;
    std::vector<EventFaultRecord> faults;
    std::optional<ControlActivity> control; // absent: an all-zero EF (no control recorded)
    std::optional<CurrentUsage> currentUsage;
    std::int64_t lastCardDownload = 0;
    DrivingLicence licence;
    std::vector<SpecificCondition> specificConditions;
    // A card of the second version: its second-generation application carries the files below
    // (records in order of entry; cyclic files go round once their slots are used).
    bool version2 = false;
    std::vector<AuthenticationStatus> placeAuthentications;
    std::vector<AuthenticationStatus> gnssAuthentications;
    std::vector<BorderCrossing> borderCrossings;
    std::vector<LoadOperation> loadOperations;
    std::vector<LoadTypeEntry> loadTypeEntries;
    std::vector<std::uint8_t> vuConfiguration; // padded with 0xFF to the capacity
    Capacities gen1 = defaultCapacities(Generation::Gen1);
    Capacities gen2 = defaultCapacities(Generation::Gen2);
    std::vector<Fault> inject;
    // Keys to sign the first-generation application with, and the certificates to write;
    // absent: certificates and signatures are pseudo-random bytes.
    std::optional<Gen1Signing> gen1Signing;
    std::optional<Gen2Signing> gen2Signing; // the same for the second-generation application
    bool withoutSignatures = false; // no certificates and no signature records at all
};

} // namespace ddd::gen
