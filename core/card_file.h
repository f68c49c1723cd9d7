// A decoded driver-card download: the TLV record index of the container and the decoded
// elementary files of each card generation it carries.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/card_efs.h"
#include "core/card_signature.h"
#include "core/decode_error.h"

namespace ddd {

// One TLV record of the container. `value` points into the caller's buffer and is valid only
// while that buffer lives.
struct TlvRecord {
    std::uint16_t fid = 0;
    std::uint8_t appendix = 0;
    std::uint64_t offset = 0;
    Bytes value;
    std::uint64_t length = 0;
};

struct TlvIndex {
    std::vector<TlvRecord> records;
    bool hasGen2Records = false;
};

// One generation's decoded EFs; a member is present only when its EF was found and decoded.
struct CardApplicationData {
    bool isGen2 = false;
    bool activityDecodeFailed = false;
    std::optional<ApplicationIdentification> applicationIdentification;
    std::optional<CardIdentification> identification;
    std::optional<DriverActivity> driverActivity;
    std::optional<VehiclesUsed> vehiclesUsed;
    std::optional<std::vector<PlaceRecord>> places;
    std::optional<std::vector<EventFaultRecord>> events;
    std::optional<std::vector<EventFaultRecord>> faults;
    std::optional<ControlActivity> controlActivity;
    std::optional<CurrentUsage> currentUsage;
    std::optional<std::int64_t> lastCardDownload;
    std::optional<DrivingLicence> drivingLicence;
    std::optional<std::vector<SpecificConditionRecord>> specificConditions;
    std::vector<std::string> issues;
    // Files of the second version (second generation only).
    std::optional<ApplicationIdentificationV2> applicationIdentificationV2;
    std::optional<std::vector<AuthenticationStatusRecord>> placeAuthentications;
    std::optional<std::vector<AuthenticationStatusRecord>> gnssPlaceAuthentications;
    std::optional<std::vector<BorderCrossingRecord>> borderCrossings;
    std::optional<std::vector<LoadUnloadRecord>> loadUnloadOperations;
    std::optional<std::vector<LoadTypeEntryRecord>> loadTypeEntries;
    std::optional<std::vector<std::uint8_t>> vuConfiguration;  // as stored; its layout is the unit maker's
    // German texts about single malformed records of those files, which were left out or
    // corrected while the rest was kept; unlike `issues` they do not make the download unusable.
    std::vector<std::string> recordDiagnostics;
};

struct DriverCardFile {
    std::vector<TlvRecord> records;
    bool hasGen2Records = false;
    std::optional<CardApplicationData> gen1;
    std::optional<CardApplicationData> gen2;
    // The signature check of the download's bytes, made by loaders that keep the file; the
    // decoder itself leaves it absent.
    std::optional<AuthenticityCheck> authenticity;
};

inline constexpr std::uint8_t kAppendixGen1Data = 0;
inline constexpr std::uint8_t kAppendixGen1Signature = 1;
inline constexpr std::uint8_t kAppendixGen2Data = 2;
inline constexpr std::uint8_t kAppendixGen2Signature = 3;

// Splits a card download into its TLV records; the last record must end at the end of the data.
Decoded<TlvIndex> splitTlv(Bytes data);

// The identification of the part a reader of the download relies on: the second generation's
// when it has one, else the first generation's. Nothing when the bytes are no card download or
// that part has no decodable identification. Decodes only the container and Identification EFs,
// so a folder of downloads can be sorted by driver before any is decoded in full.
std::optional<CardIdentification> chosenCardIdentification(Bytes data);

// Reads up to into.size() bytes of a download at `offset`; fewer only where the download ends or
// a read fails.
using DownloadReadAt = std::function<std::size_t(std::uint64_t offset, std::span<std::uint8_t> into)>;

// chosenCardIdentification of a download of `fileSize` bytes that is read in pieces: only the
// record headers and the Identification records, a few KB of a card download, so that a walk for
// one driver passes over the downloads of others without reading them. `decided` is false when a
// read came short (the file changed or failed); then only the whole file can tell.
struct FileIdentification {
    bool decided = false;
    std::optional<CardIdentification> identification;
};
FileIdentification chosenCardIdentificationOfFile(std::uint64_t fileSize, const DownloadReadAt& readAt);

// The part of a decoded download that the same rule chooses.
const CardApplicationData* chosenApplication(const DriverCardFile& file);

// Decodes a whole card download. Container faults reject the file; a fault inside one EF only
// leaves that member absent and adds an issue text.
Decoded<DriverCardFile> decodeCardFile(Bytes data);

}  // namespace ddd
