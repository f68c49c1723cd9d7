// Encoders of the individual card files, one per EF, shared by the container writer.
// Each returns the EF's value bytes for one application (first or second generation).
#pragma once

#include "tools/generator/byte_writer.h"
#include "tools/generator/card_description.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace ddd::gen {

using Bytes = std::vector<std::uint8_t>;

// File identifiers of the EFs the generator writes.
inline constexpr std::uint16_t kFidIcc = 0x0002;
inline constexpr std::uint16_t kFidIc = 0x0005;
inline constexpr std::uint16_t kFidApplicationIdentification = 0x0501;
inline constexpr std::uint16_t kFidEventsData = 0x0502;
inline constexpr std::uint16_t kFidFaultsData = 0x0503;
inline constexpr std::uint16_t kFidDriverActivityData = 0x0504;
inline constexpr std::uint16_t kFidVehiclesUsed = 0x0505;
inline constexpr std::uint16_t kFidPlaces = 0x0506;
inline constexpr std::uint16_t kFidCurrentUsage = 0x0507;
inline constexpr std::uint16_t kFidControlActivityData = 0x0508;
inline constexpr std::uint16_t kFidCardDownload = 0x050E;
inline constexpr std::uint16_t kFidIdentification = 0x0520;
inline constexpr std::uint16_t kFidDrivingLicenceInfo = 0x0521;
inline constexpr std::uint16_t kFidSpecificConditions = 0x0522;
inline constexpr std::uint16_t kFidVehicleUnitsUsed = 0x0523;
inline constexpr std::uint16_t kFidGnssPlaces = 0x0524;
inline constexpr std::uint16_t kFidApplicationIdentificationV2 = 0x0525;
inline constexpr std::uint16_t kFidPlacesAuthentication = 0x0526;
inline constexpr std::uint16_t kFidGnssPlacesAuthentication = 0x0527;
inline constexpr std::uint16_t kFidBorderCrossings = 0x0528;
inline constexpr std::uint16_t kFidLoadUnloadOperations = 0x0529;
inline constexpr std::uint16_t kFidLoadTypeEntries = 0x0530;
inline constexpr std::uint16_t kFidVuConfiguration = 0x0540;
inline constexpr std::uint16_t kFidCardCertificate = 0xC100;
inline constexpr std::uint16_t kFidCardSignCertificate = 0xC101;
inline constexpr std::uint16_t kFidCaCertificate = 0xC108;
inline constexpr std::uint16_t kFidLinkCertificate = 0xC109;

void writeName(ByteWriter& w, const Text& text);                 // 36 bytes
void writeRegistration(ByteWriter& w, const Registration& reg);  // 15 bytes
void writePadded(ByteWriter& w, const std::string& ascii, std::size_t width, std::uint8_t pad);

// `version2`: the structure version {01 01} of a second-version card.
Bytes encodeApplicationIdentification(const Capacities& caps, bool gen2, bool version2 = false);
Bytes encodeIdentification(const Identity& id);
Bytes encodeDrivingLicence(const DrivingLicence& licence);
Bytes encodeControlActivity(const std::optional<ControlActivity>& control);
Bytes encodeCurrentUsage(const std::optional<CurrentUsage>& usage);
Bytes encodeCardDownload(std::int64_t lastDownload);

// `faults` are the description's activity-chain faults meant for this application.
Bytes encodeDriverActivity(const std::vector<Day>& days, const Capacities& caps,
                           const std::vector<Fault>& faults);

Bytes encodeVehiclesUsed(const std::vector<VehicleUse>& vehicles, int slots, bool gen2);
Bytes encodePlaces(const std::vector<Place>& places, int slots, bool gen2);
Bytes encodeEventsFaults(const std::vector<EventFaultRecord>& records, int groups, int perType,
                         bool events, bool gen2);
Bytes encodeSpecificConditions(const std::vector<SpecificCondition>& conditions, int slots, bool gen2);

// The files only a second-version card has, as (FID, value) in download order.
std::vector<std::pair<std::uint16_t, Bytes>> encodeSecondVersionFiles(const CardDescription& card);

// Slot of the i-th record written into a cyclic EF of `slots` records, starting at slot 0:
// a card overwrites its oldest record once all slots are used.
inline int cyclicSlot(std::size_t i, int slots) { return static_cast<int>(i % static_cast<std::size_t>(slots)); }

} // namespace ddd::gen
