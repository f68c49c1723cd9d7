// Card download container: a flat run of records
//   FID (2) | appendix (1: 0 Gen1 data, 1 Gen1 signature, 2 Gen2 data, 3 Gen2 signature) |
//   length (2, 0xFFFF reserved) | value (length)
// with no gaps; the last record ends exactly at the end of the file.
#include "core/card_file.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace ddd {
namespace {

std::string formatted(const char* format, auto... values) {
    char buffer[96];
    int n = std::snprintf(buffer, sizeof buffer, format, values...);
    return std::string(buffer, n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

// Stores a decoder's result in a member, or turns its error into an issue text.
template <typename T>
bool store(Decoded<T> decoded, std::optional<T>& member, const char* efName, std::vector<std::string>& issues) {
    if (decoded) {
        member = std::move(decoded).value();
        return true;
    }
    issues.push_back(std::string(efName) + ": " + decoded.error().message + " (offset " +
                     std::to_string(decoded.error().offset) + ")");
    return false;
}

const TlvRecord* firstRecord(const std::vector<TlvRecord>& records, std::uint16_t fid, std::uint8_t appendix) {
    for (const auto& record : records) {
        if (record.fid == fid && record.appendix == appendix) return &record;
    }
    return nullptr;
}

// The second version's files, after the first version's so that the order of issues is kept.
template <typename With>
void decodeSecondVersion(CardApplicationData& app, With& with) {
    auto& issues = app.issues;
    auto& notes = app.recordDiagnostics;
    with(0x0525, [&](Bytes v) {
        store(decodeApplicationIdentificationV2(v), app.applicationIdentificationV2, "Application_Identification_V2", issues);
    });
    with(0x0526, [&](Bytes v) {
        store(decodeAuthenticationStatuses(v, "Places_Authentication", notes), app.placeAuthentications,
              "Places_Authentication", issues);
    });
    with(0x0527, [&](Bytes v) {
        store(decodeAuthenticationStatuses(v, "GNSS_Places_Authentication", notes), app.gnssPlaceAuthentications,
              "GNSS_Places_Authentication", issues);
    });
    with(0x0528, [&](Bytes v) { store(decodeBorderCrossings(v, notes), app.borderCrossings, "Border_Crossings", issues); });
    with(0x0529, [&](Bytes v) {
        store(decodeLoadUnloadOperations(v, notes), app.loadUnloadOperations, "Load_Unload_Operations", issues);
    });
    with(0x0530, [&](Bytes v) { store(decodeLoadTypeEntries(v, notes), app.loadTypeEntries, "Load_Type_Entries", issues); });
    with(0x0540, [&](Bytes v) { app.vuConfiguration.emplace(v.begin(), v.end()); });
}

CardApplicationData decodeApplication(const std::vector<TlvRecord>& records, bool isGen2) {
    CardApplicationData app;
    app.isGen2 = isGen2;
    const std::uint8_t appendix = isGen2 ? kAppendixGen2Data : kAppendixGen1Data;
    auto& issues = app.issues;
    auto with = [&](std::uint16_t fid, auto&& decode) {
        if (const TlvRecord* record = firstRecord(records, fid, appendix)) decode(record->value);
    };

    with(0x0501, [&](Bytes v) {
        store(decodeApplicationIdentification(v), app.applicationIdentification, "Application_Identification", issues);
    });
    with(0x0520, [&](Bytes v) { store(decodeIdentification(v), app.identification, "Identification", issues); });
    with(0x0504, [&](Bytes v) {
        if (!store(decodeDriverActivity(v), app.driverActivity, "Driver_Activity_Data", issues)) {
            app.activityDecodeFailed = true;
            return;
        }
        const DriverActivity& activity = *app.driverActivity;
        if (activity.malformedStops != 0 || activity.skippedRecords != 0) {
            issues.push_back("Driver_Activity_Data: malformed-stops=" + std::to_string(activity.malformedStops) +
                             " skipped-records=" + std::to_string(activity.skippedRecords));
        }
    });
    with(0x0505, [&](Bytes v) { store(decodeVehiclesUsed(v, isGen2), app.vehiclesUsed, "Vehicles_Used", issues); });
    with(0x0506, [&](Bytes v) { store(decodePlaces(v, isGen2), app.places, "Places", issues); });
    with(0x0502, [&](Bytes v) { store(decodeEventsFaults(v, isGen2 ? 11 : 6), app.events, "Events_Data", issues); });
    with(0x0503, [&](Bytes v) { store(decodeEventsFaults(v, 2), app.faults, "Faults_Data", issues); });
    with(0x0508, [&](Bytes v) {
        store(decodeControlActivity(v), app.controlActivity, "Control_Activity_Data", issues);
    });
    with(0x0507, [&](Bytes v) { store(decodeCurrentUsage(v), app.currentUsage, "Current_Usage", issues); });
    with(0x050E, [&](Bytes v) { store(decodeCardDownload(v), app.lastCardDownload, "Card_Download", issues); });
    with(0x0521, [&](Bytes v) { store(decodeDrivingLicence(v), app.drivingLicence, "Driving_Licence_Info", issues); });
    with(0x0522, [&](Bytes v) {
        store(decodeSpecificConditions(v, isGen2), app.specificConditions, "Specific_Conditions", issues);
    });
    if (isGen2) decodeSecondVersion(app, with);
    return app;
}

bool holdsApplication(const std::vector<TlvRecord>& records, std::uint8_t appendix) {
    return firstRecord(records, 0x0501, appendix) != nullptr || firstRecord(records, 0x0520, appendix) != nullptr;
}

}  // namespace

Decoded<TlvIndex> splitTlv(Bytes data) {
    if (data.empty()) return DecodeError{0, "empty file"};
    TlvIndex index;
    std::size_t p = 0;
    while (p < data.size()) {
        ByteReader header(data.subspan(p));
        if (header.remaining() < 5) return DecodeError{p, "truncated TLV header (need 5 bytes: FID, appendix, length)"};
        std::uint16_t fid = header.u16();
        std::uint8_t appendix = header.u8();
        if (appendix >= 4) {
            return DecodeError{p + 2, formatted("invalid appendix byte 0x%02X for FID 0x%04X (not a card download?)",
                                                unsigned{appendix}, unsigned{fid})};
        }
        std::uint16_t length = header.u16();
        if (length == 0xFFFF) return DecodeError{p + 3, "length 'FFFF' is reserved (DDP_044)"};
        if (header.remaining() < length) {
            return DecodeError{p + 5, formatted("TLV value truncated: FID 0x%04X declares %u bytes", unsigned{fid},
                                                unsigned{length})};
        }
        index.records.push_back(TlvRecord{fid, appendix, p, data.subspan(p + 5, length), length});
        if (appendix > 1) index.hasGen2Records = true;
        p += 5 + static_cast<std::size_t>(length);
    }
    if (index.records.empty()) return DecodeError{0, "no TLV records"};
    return index;
}

std::optional<CardIdentification> chosenCardIdentification(Bytes data) {
    auto split = splitTlv(data);
    if (!split) return std::nullopt;
    const auto& records = split.value().records;
    auto identificationOf = [&](std::uint8_t appendix) -> std::optional<CardIdentification> {
        if (!holdsApplication(records, appendix)) return std::nullopt;
        const TlvRecord* record = firstRecord(records, 0x0520, appendix);
        if (!record) return std::nullopt;
        auto decoded = decodeIdentification(record->value);
        if (!decoded) return std::nullopt;
        return std::move(decoded).value();
    };
    if (auto gen2 = identificationOf(kAppendixGen2Data)) return gen2;
    return identificationOf(kAppendixGen1Data);
}

FileIdentification chosenCardIdentificationOfFile(std::uint64_t fileSize, const DownloadReadAt& readAt) {
    // Record headers lie far apart only around the activity file: one window holds the headers
    // before it, a second one those after it.
    std::array<std::uint8_t, 8192> window;
    std::uint64_t windowStart = 0;
    std::size_t windowSize = 0;
    bool readShort = false;
    // The bytes [from, from + count) of the download, read into the window where it does not
    // hold them yet; empty after a short read.
    auto bytesAt = [&](std::uint64_t from, std::size_t count) -> Bytes {
        if (from < windowStart || from + count > windowStart + windowSize) {
            const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(window.size(), fileSize - from));
            windowStart = from;
            windowSize = readAt(from, std::span(window).first(wanted));
            readShort = readShort || windowSize < wanted;
            if (count > windowSize) return {};
        }
        return Bytes(window).subspan(static_cast<std::size_t>(from - windowStart), count);
    };
    // The first Identification record of each generation, decoded as chosenCardIdentification does.
    struct FirstIdentification {
        bool seen = false;
        std::optional<CardIdentification> identification;
    } gen1, gen2;
    // What the bytes read tell, unless the file was shorter than its size said.
    auto told = [&](std::optional<CardIdentification> identification) -> FileIdentification {
        if (readShort) return {};
        return {true, std::move(identification)};
    };
    if (fileSize == 0) return told(std::nullopt);
    for (std::uint64_t p = 0; p < fileSize;) {
        if (fileSize - p < 5) return told(std::nullopt);
        const Bytes header = bytesAt(p, 5);
        if (header.empty()) return {};
        ByteReader r(header);
        const std::uint16_t fid = r.u16();
        const std::uint8_t appendix = r.u8();
        const std::uint16_t length = r.u16();
        const std::uint64_t end = p + 5 + length;
        if (appendix >= 4 || length == 0xFFFF || end > fileSize) return told(std::nullopt);
        FirstIdentification* first = fid != 0x0520 ? nullptr
                                     : appendix == kAppendixGen1Data ? &gen1
                                     : appendix == kAppendixGen2Data ? &gen2
                                                                     : nullptr;
        if (first && !first->seen) {
            first->seen = true;
            // A value larger than the window is no Identification, but its decoder says so.
            std::vector<std::uint8_t> large;
            Bytes value = length <= window.size() ? bytesAt(p + 5, length) : Bytes();
            if (length > window.size()) {
                large.resize(length);
                value = Bytes(large).first(readAt(p + 5, large));
            }
            if (value.size() != length) return {};
            if (auto decoded = decodeIdentification(value)) first->identification = std::move(decoded).value();
        }
        p = end;
    }
    return told(gen2.identification ? std::move(gen2.identification) : std::move(gen1.identification));
}

const CardApplicationData* chosenApplication(const DriverCardFile& file) {
    if (file.gen2 && file.gen2->identification) return &*file.gen2;
    if (file.gen1 && file.gen1->identification) return &*file.gen1;
    return file.gen2 ? &*file.gen2 : nullptr;
}

Decoded<DriverCardFile> decodeCardFile(Bytes data) {
    auto split = splitTlv(data);
    if (!split) return split.error();
    DriverCardFile file;
    file.records = std::move(split.value().records);
    file.hasGen2Records = split.value().hasGen2Records;

    const bool buildGen1 = holdsApplication(file.records, kAppendixGen1Data);
    const bool buildGen2 = holdsApplication(file.records, kAppendixGen2Data);
    if (!buildGen1 && !buildGen2) return DecodeError{0, "no tachograph application data in container"};
    if (buildGen1) file.gen1 = decodeApplication(file.records, false);
    if (buildGen2) file.gen2 = decodeApplication(file.records, true);
    return file;
}

}  // namespace ddd
