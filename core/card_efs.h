// The decoded elementary files of a driver card and their decoders. Each decoder takes the
// value bytes of one EF and returns the decoded member or a DecodeError relative to that value.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/decode_error.h"
#include "core/primitives.h"

namespace ddd {

using Bytes = std::span<const std::uint8_t>;

// Application_Identification (0x0501): card type and the capacities of its cyclic buffers.
struct ApplicationIdentification {
    std::uint8_t cardType = 0;
    std::uint8_t structureVersionMajor = 0;
    std::uint8_t structureVersionMinor = 0;
    std::uint8_t eventsPerType = 0;
    std::uint8_t faultsPerType = 0;
    std::uint16_t activityStructureLength = 0;
    std::uint16_t vehicleRecords = 0;
    std::uint16_t placeRecords = 0;
    std::uint16_t gnssRecords = 0;
    std::uint16_t specificConditionRecords = 0;
    std::uint16_t vehicleUnitRecords = 0;
    bool isGen2Layout = false;
};
Decoded<ApplicationIdentification> decodeApplicationIdentification(Bytes value);

// Identification (0x0520): the card and its holder.
struct CardIdentification {
    std::uint8_t issuingNation = 0;
    CardNumber cardNumber{};
    CodePagedText issuingAuthority;
    std::int64_t issueDate = 0;
    std::int64_t validityBegin = 0;
    std::int64_t expiryDate = 0;
    CodePagedText surname;
    CodePagedText firstNames;
    BcdDate birthDate;
    std::string preferredLanguage;
};
Decoded<CardIdentification> decodeIdentification(Bytes value);

// Control_Activity_Data (0x0508): the last control of the card.
struct ControlActivity {
    std::uint8_t controlType = 0;
    std::int64_t controlTime = 0;
    std::uint8_t controlCardType = 0;
    std::uint8_t controlCardNation = 0;
    CardNumber controlCardNumber{};
    Registration controlVehicle;
    std::int64_t downloadPeriodBegin = 0;
    std::int64_t downloadPeriodEnd = 0;
};
Decoded<ControlActivity> decodeControlActivity(Bytes value);

// Current_Usage (0x0507): the session the card is in.
struct CurrentUsage {
    std::int64_t sessionOpenTime = 0;
    Registration sessionOpenVehicle;
};
Decoded<CurrentUsage> decodeCurrentUsage(Bytes value);

// Card_Download (0x050E): the time of the last card download.
Decoded<std::int64_t> decodeCardDownload(Bytes value);

// Driving_Licence_Info (0x0521).
struct DrivingLicence {
    CodePagedText licenceAuthority;
    std::uint8_t licenceNation = 0;
    std::string licenceNumber;
};
Decoded<DrivingLicence> decodeDrivingLicence(Bytes value);

// One calendar day of the activity buffer.
struct DailyActivityRecord {
    std::int64_t date = 0;
    std::uint32_t presenceCounter = 0;
    bool hasPresenceCounter = false;
    std::uint32_t distanceKm = 0;
    std::vector<std::uint16_t> changes;
};

// Driver_Activity_Data (0x0504): the days of the cyclic buffer, oldest first, with the
// counters of what the walk could not keep.
struct DriverActivity {
    std::vector<DailyActivityRecord> days;
    bool historyFromStart = false;
    std::uint32_t malformedStops = 0;
    std::uint32_t skippedRecords = 0;
    std::uint32_t unorderedDays = 0;
};
Decoded<DriverActivity> decodeDriverActivity(Bytes value);

// A stretch of one day that a single change word covers.
struct DaySegment {
    std::uint32_t startMinute = 0;
    std::uint32_t endMinute = 0;
    std::uint16_t state = 0;
    std::uint16_t word = 0;
};
std::vector<DaySegment> daySegments(const DailyActivityRecord& day);

// Fields of an activity change word.
inline bool changeCoDriverSlot(std::uint16_t w) { return (w & 0x8000) != 0; }
inline bool changeCrewOrKnown(std::uint16_t w) { return (w & 0x4000) != 0; }
inline bool changeCardAbsent(std::uint16_t w) { return (w & 0x2000) != 0; }
inline std::uint32_t changeActivity(std::uint16_t w) { return (w >> 11) & 0x3; }
inline std::uint32_t changeMinute(std::uint16_t w) { return w & 0x7FF; }

// Vehicles_Used (0x0505).
struct CardVehicleRecord {
    std::uint32_t odometerBegin = 0;
    std::uint32_t odometerEnd = 0;
    std::int64_t firstUse = 0;
    std::int64_t lastUse = 0;
    Registration registration;
    std::uint32_t vuDataBlockCounter = 0;
    bool hasVuDataBlockCounter = false;
    std::string vin;
};
struct VehiclesUsed {
    std::vector<CardVehicleRecord> chronological;
    std::uint16_t newestPointer = 0;
    std::vector<CardVehicleRecord> slots;
};
Decoded<VehiclesUsed> decodeVehiclesUsed(Bytes value, bool isGen2);

// Places (0x0506): where daily work periods began and ended.
struct PlaceRecord {
    std::int64_t entryTime = 0;
    std::uint8_t entryType = 0;
    std::uint8_t country = 0;
    std::uint8_t region = 0;
    std::uint32_t odometer = 0;
    std::int64_t gnssTime = 0;
    std::uint8_t gnssAccuracy = 0;
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    bool hasGnss = false;
};
Decoded<std::vector<PlaceRecord>> decodePlaces(Bytes value, bool isGen2);

// Events_Data (0x0502) and Faults_Data (0x0503).
struct EventFaultRecord {
    std::uint8_t type = 0;
    std::int64_t begin = 0;
    std::int64_t end = 0;
    Registration vehicle;
};
Decoded<std::vector<EventFaultRecord>> decodeEventsFaults(Bytes value, std::uint32_t groups);

// Specific_Conditions (0x0522): ferry/train crossings and out-of-scope periods.
struct SpecificConditionRecord {
    std::int64_t entryTime = 0;
    std::uint8_t conditionType = 0;
};
Decoded<std::vector<SpecificConditionRecord>> decodeSpecificConditions(Bytes value, bool isGen2);

// ---- Files of the second version of the second generation ---------------------------------

// A GNSS position as the card stores it. Coordinates are the ±DDMM.M (latitude) and ±DDDMM.M
// (longitude) forms times ten, so the last three digits are minutes in tenths.
struct GnssPosition {
    std::int64_t time = 0;
    std::uint8_t accuracy = 0;
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::uint8_t authenticationStatus = 0;  // 1 authenticated, 0 not, others reserved
    bool known = false;  // coordinates present and inside ±90° / ±180°

    bool authenticated() const { return authenticationStatus == 1; }
    bool operator==(const GnssPosition&) const = default;
};

// The stored value of a coordinate the unit could not determine.
inline constexpr std::int32_t kUnknownCoordinate = 0x7FFFFF;

// A stored coordinate as decimal degrees (48°08.5' is 48.141666…).
double decimalDegrees(std::int32_t stored);
// A stored coordinate as degrees and minutes, e.g. "48°08.5'N" or "11°34.9'E".
std::string degreesMinutesText(std::int32_t stored, bool latitude);

// Application_Identification_V2 (0x0525): the capacities of the second version's files.
struct ApplicationIdentificationV2 {
    std::uint16_t lengthOfFollowingData = 0;
    std::uint16_t borderCrossingRecords = 0;
    std::uint16_t loadUnloadRecords = 0;
    std::uint16_t loadTypeEntryRecords = 0;
    std::uint16_t vuConfigurationLength = 0;
};
Decoded<ApplicationIdentificationV2> decodeApplicationIdentificationV2(Bytes value);

// The authentication status of a place (Places_Authentication, 0x0526) or of an
// accumulated-driving position (GNSS_Places_Authentication, 0x0527), keyed by its time.
struct AuthenticationStatusRecord {
    std::int64_t time = 0;
    std::uint8_t status = 0;
    bool operator==(const AuthenticationStatusRecord&) const = default;
};

// Border_Crossings (0x0528).
struct BorderCrossingRecord {
    std::uint8_t countryLeft = 0;
    std::uint8_t countryEntered = 0;
    GnssPosition position;
    std::uint32_t odometer = 0;
    bool operator==(const BorderCrossingRecord&) const = default;
};

// Load_Unload_Operations (0x0529).
struct LoadUnloadRecord {
    std::int64_t time = 0;
    std::uint8_t operation = 0;  // 1 load, 2 unload, 3 both
    GnssPosition position;
    std::uint32_t odometer = 0;
    bool operator==(const LoadUnloadRecord&) const = default;
};

// Load_Type_Entries (0x0530).
struct LoadTypeEntryRecord {
    std::int64_t time = 0;
    std::uint8_t loadType = 0;  // 0 undefined, 1 goods, 2 passengers
    bool operator==(const LoadTypeEntryRecord&) const = default;
};

// The cyclic files of the second version: a 2-byte newest-record pointer, then fixed records,
// returned oldest first without empty slots. A malformed record (unknown country, position
// outside the globe) or a pointer past the array only adds a German text to `diagnostics`;
// the other records are kept. A size that fits no whole number of records fails the file.
Decoded<std::vector<AuthenticationStatusRecord>> decodeAuthenticationStatuses(Bytes value, const char* ef,
                                                                              std::vector<std::string>& diagnostics);
Decoded<std::vector<BorderCrossingRecord>> decodeBorderCrossings(Bytes value, std::vector<std::string>& diagnostics);
Decoded<std::vector<LoadUnloadRecord>> decodeLoadUnloadOperations(Bytes value, std::vector<std::string>& diagnostics);
Decoded<std::vector<LoadTypeEntryRecord>> decodeLoadTypeEntries(Bytes value, std::vector<std::string>& diagnostics);

}  // namespace ddd
