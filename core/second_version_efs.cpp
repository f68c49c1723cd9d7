// Files of the second version of a second-generation driver card:
//   Application_Identification_V2: length 2 | border crossings 2 | load/unload 2 | load types 2 |
//                                  VU configuration length 2
//   Places_Authentication, GNSS_Places_Authentication: pointer 2, N × (time 4 | status 1)
//   Border_Crossings: pointer 2, N × (left 1 | entered 1 | position 12 | odometer 3)
//   Load_Unload_Operations: pointer 2, N × (time 4 | operation 1 | position 12 | odometer 3)
//   Load_Type_Entries: pointer 2, N × (time 4 | load type 1)
// where a position is time 4 | accuracy 1 | latitude 3 | longitude 3 | authentication 1.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/card_efs.h"
#include "core/cyclic_records.h"

namespace ddd {
namespace {

constexpr std::int32_t kMaxLatitude = 90000;    // 90°00.0'
constexpr std::int32_t kMaxLongitude = 180000;  // 180°00.0'

bool plausibleCoordinate(std::int32_t stored, std::int32_t limit) {
    return std::abs(stored) <= limit && std::abs(stored) % 1000 < 600;
}

GnssPosition readPosition(ByteReader& r) {
    GnssPosition p;
    p.time = r.u32();
    p.accuracy = r.u8();
    p.latitude = r.s24();
    p.longitude = r.s24();
    p.authenticationStatus = r.u8();
    p.known = plausibleCoordinate(p.latitude, kMaxLatitude) && plausibleCoordinate(p.longitude, kMaxLongitude);
    return p;
}

bool unknownPosition(const GnssPosition& p) {
    return p.latitude == kUnknownCoordinate || p.longitude == kUnknownCoordinate;
}

std::string when(std::int64_t t) { return formatDate(t) + " " + formatTime(t); }

// Adds a text when the stored coordinates are neither plausible nor the unknown marker.
void checkPosition(const GnssPosition& p, const std::string& what, std::vector<std::string>& diagnostics) {
    if (p.known || unknownPosition(p)) return;
    diagnostics.push_back(what + ": Position außerhalb von ±90°/±180° (" + std::to_string(p.latitude) + ", " +
                          std::to_string(p.longitude) + ") verworfen");
}

// Shared walk of the second version's cyclic files. `read` decodes one record, `timeOf` gives
// its time (empty slots have none), `keep` checks a record and may reject it.
template <typename Record, typename Read, typename TimeOf, typename Keep>
Decoded<std::vector<Record>> decodeCyclic(Bytes value, const char* ef, const char* germanName, std::size_t recordSize,
                                          Read read, TimeOf timeOf, Keep keep, std::vector<std::string>& diagnostics) {
    if (!cyclic::fitsRecords(value.size(), 2, recordSize)) {
        return DecodeError{0, cyclic::sizeMessage(ef, value.size(), 2, recordSize)};
    }
    const std::size_t count = (value.size() - 2) / recordSize;
    ByteReader r(value);
    std::size_t newest = r.u16();
    std::vector<Record> slots;
    slots.reserve(count);
    for (std::size_t i = 0; i < count; ++i) slots.push_back(read(r));
    if (r.failed()) return DecodeError{r.position(), std::string("EF ") + ef + ": truncated"};
    const bool pointerInside = count == 0 || newest < count;
    if (!pointerInside) {
        // Without a valid pointer the slots cannot be ordered by it; their own times still can.
        diagnostics.push_back(std::string(germanName) + ": Zeiger auf den neuesten Eintrag (" + std::to_string(newest) +
                              ") liegt außerhalb der " + std::to_string(count) + " Einträge; nach Zeit geordnet");
        newest = count - 1;
    }
    std::vector<Record> ordered = cyclic::chronological(slots, newest, [&](const Record& rec) { return isEmptyTime(timeOf(rec)); });
    if (!pointerInside) {
        std::stable_sort(ordered.begin(), ordered.end(),
                         [&](const Record& a, const Record& b) { return timeOf(a) < timeOf(b); });
    }
    std::erase_if(ordered, [&](Record& rec) { return !keep(rec, diagnostics); });
    return ordered;
}

}  // namespace

double decimalDegrees(std::int32_t stored) {
    const std::int32_t magnitude = std::abs(stored);
    const double degrees = magnitude / 1000 + (magnitude % 1000) / 600.0;
    return stored < 0 ? -degrees : degrees;
}

std::string degreesMinutesText(std::int32_t stored, bool latitude) {
    const std::int32_t magnitude = std::abs(stored);
    const char hemisphere = latitude ? (stored < 0 ? 'S' : 'N') : (stored < 0 ? 'W' : 'E');
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d°%02d.%d'%c", magnitude / 1000, magnitude % 1000 / 10, magnitude % 10,
                  hemisphere);
    return buffer;
}

Decoded<ApplicationIdentificationV2> decodeApplicationIdentificationV2(Bytes value) {
    if (value.size() != 10) {
        return DecodeError{0, "EF Application_Identification_V2: expected 10 bytes, got " + std::to_string(value.size())};
    }
    ByteReader r(value);
    ApplicationIdentificationV2 id;
    id.lengthOfFollowingData = r.u16();
    id.borderCrossingRecords = r.u16();
    id.loadUnloadRecords = r.u16();
    id.loadTypeEntryRecords = r.u16();
    id.vuConfigurationLength = r.u16();
    return id;
}

Decoded<std::vector<AuthenticationStatusRecord>> decodeAuthenticationStatuses(Bytes value, const char* ef,
                                                                              std::vector<std::string>& diagnostics) {
    return decodeCyclic<AuthenticationStatusRecord>(
        value, ef,
        std::string_view(ef) == "Places_Authentication" ? "Authentisierung der Orte" : "Authentisierung der GNSS-Positionen", 5,
        [](ByteReader& r) {
            AuthenticationStatusRecord rec;
            rec.time = r.u32();
            rec.status = r.u8();
            return rec;
        },
        [](const AuthenticationStatusRecord& rec) { return rec.time; },
        [](AuthenticationStatusRecord&, std::vector<std::string>&) { return true; }, diagnostics);
}

Decoded<std::vector<BorderCrossingRecord>> decodeBorderCrossings(Bytes value, std::vector<std::string>& diagnostics) {
    return decodeCyclic<BorderCrossingRecord>(
        value, "Border_Crossings", "Grenzübertritte", 17,
        [](ByteReader& r) {
            BorderCrossingRecord rec;
            rec.countryLeft = r.u8();
            rec.countryEntered = r.u8();
            rec.position = readPosition(r);
            rec.odometer = r.u24();
            return rec;
        },
        [](const BorderCrossingRecord& rec) { return rec.position.time; },
        [](BorderCrossingRecord& rec, std::vector<std::string>& out) {
            const std::string what = "Grenzübertritt vom " + when(rec.position.time);
            for (const std::uint8_t country : {rec.countryLeft, rec.countryEntered}) {
                if (isKnownNation(country)) continue;
                out.push_back(what + ": Ländercode " + std::to_string(country) + " unbekannt; Eintrag übergangen");
                return false;
            }
            checkPosition(rec.position, what, out);
            return true;
        },
        diagnostics);
}

Decoded<std::vector<LoadUnloadRecord>> decodeLoadUnloadOperations(Bytes value, std::vector<std::string>& diagnostics) {
    return decodeCyclic<LoadUnloadRecord>(
        value, "Load_Unload_Operations", "Ladevorgänge", 20,
        [](ByteReader& r) {
            LoadUnloadRecord rec;
            rec.time = r.u32();
            rec.operation = r.u8();
            rec.position = readPosition(r);
            rec.odometer = r.u24();
            return rec;
        },
        [](const LoadUnloadRecord& rec) { return rec.time; },
        [](LoadUnloadRecord& rec, std::vector<std::string>& out) {
            checkPosition(rec.position, "Ladevorgang vom " + when(rec.time), out);
            return true;
        },
        diagnostics);
}

Decoded<std::vector<LoadTypeEntryRecord>> decodeLoadTypeEntries(Bytes value, std::vector<std::string>& diagnostics) {
    return decodeCyclic<LoadTypeEntryRecord>(
        value, "Load_Type_Entries", "Ladungsarten", 5,
        [](ByteReader& r) {
            LoadTypeEntryRecord rec;
            rec.time = r.u32();
            rec.loadType = r.u8();
            return rec;
        },
        [](const LoadTypeEntryRecord& rec) { return rec.time; },
        [](LoadTypeEntryRecord&, std::vector<std::string>&) { return true; }, diagnostics);
}

}  // namespace ddd
