// Files of a second-version card, each a cyclic file with a 2-byte newest-record pointer:
//   Application_Identification_V2 (0x0525), 10 bytes: length of following data 2 (8),
//     border-crossing records 2, load/unload records 2, load-type records 2, VU configuration bytes 2
//   Places_Authentication (0x0526), GNSS_Places_Authentication (0x0527): time 4 | status 1
//   Border_Crossings (0x0528): country left 1 | entered 1 | position 12 | odometer 3
//   Load_Unload_Operations (0x0529): time 4 | operation 1 | position 12 | odometer 3
//   Load_Type_Entries (0x0530): time 4 | load type 1
//   VU_Configuration (0x0540): opaque bytes, padded with 0xFF
// A position is time 4 | accuracy 1 | latitude 3 | longitude 3 (signed 24-bit) | authentication 1.
// Records go round the slots from slot 0; unused slots are zero.

#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"

#include <algorithm>

namespace ddd::gen {
namespace {

void writePoint(ByteWriter& w, const GnssPoint& p) {
    w.time(p.time);
    w.u8(static_cast<std::uint64_t>(p.accuracy));
    w.u24(static_cast<std::uint32_t>(p.latitude) & 0xFFFFFF);
    w.u24(static_cast<std::uint32_t>(p.longitude) & 0xFFFFFF);
    w.u8(static_cast<std::uint64_t>(p.authentication));
}

template <typename Record, typename Write>
Bytes cyclicFile(const std::vector<Record>& records, int slots, std::size_t recordSize, Write write) {
    std::vector<Bytes> slotBytes(static_cast<std::size_t>(slots), Bytes(recordSize, 0));
    int newest = 0;
    for (std::size_t i = 0; slots > 0 && i < records.size(); ++i) {
        newest = cyclicSlot(i, slots);
        ByteWriter w;
        write(w, records[i]);
        slotBytes[static_cast<std::size_t>(newest)] = w.take();
    }
    ByteWriter w;
    w.u16(static_cast<std::uint64_t>(newest));
    for (const Bytes& b : slotBytes) w.bytes(b);
    return w.take();
}

void writeStatus(ByteWriter& w, const AuthenticationStatus& a) {
    w.time(a.time);
    w.u8(static_cast<std::uint64_t>(a.status));
}

} // namespace

std::vector<std::pair<std::uint16_t, Bytes>> encodeSecondVersionFiles(const CardDescription& card) {
    const Capacities& caps = card.gen2;
    std::vector<std::pair<std::uint16_t, Bytes>> files;
    ByteWriter id;
    id.u16(8);
    id.u16(static_cast<std::uint64_t>(caps.borderCrossings));
    id.u16(static_cast<std::uint64_t>(caps.loadOperations));
    id.u16(static_cast<std::uint64_t>(caps.loadTypeEntries));
    id.u16(static_cast<std::uint64_t>(caps.vuConfigurationBytes));
    files.emplace_back(kFidApplicationIdentificationV2, id.take());
    files.emplace_back(kFidPlacesAuthentication, cyclicFile(card.placeAuthentications, caps.places, 5, writeStatus));
    files.emplace_back(kFidGnssPlacesAuthentication, cyclicFile(card.gnssAuthentications, caps.gnssRecords, 5, writeStatus));
    files.emplace_back(kFidBorderCrossings,
                       cyclicFile(card.borderCrossings, caps.borderCrossings, 17, [](ByteWriter& w, const BorderCrossing& b) {
                           w.u8(b.countryLeft);
                           w.u8(b.countryEntered);
                           writePoint(w, b.position);
                           w.u24(static_cast<std::uint64_t>(b.odometer));
                       }));
    files.emplace_back(kFidLoadUnloadOperations,
                       cyclicFile(card.loadOperations, caps.loadOperations, 20, [](ByteWriter& w, const LoadOperation& l) {
                           w.time(l.time);
                           w.u8(static_cast<std::uint64_t>(l.operation));
                           writePoint(w, l.position);
                           w.u24(static_cast<std::uint64_t>(l.odometer));
                       }));
    files.emplace_back(kFidLoadTypeEntries,
                       cyclicFile(card.loadTypeEntries, caps.loadTypeEntries, 5, [](ByteWriter& w, const LoadTypeEntry& e) {
                           w.time(e.time);
                           w.u8(static_cast<std::uint64_t>(e.loadType));
                       }));
    Bytes configuration = card.vuConfiguration;
    configuration.resize(std::max(configuration.size(), static_cast<std::size_t>(caps.vuConfigurationBytes)), 0xFF);
    files.emplace_back(kFidVuConfiguration, std::move(configuration));
    return files;
}

void addSecondVersionRecords(CardDescription& card, int crossings, int loadOperations) {
    card.version2 = true;
    if (card.generation == Generation::Gen1) card.generation = Generation::Both;
    if (card.days.empty()) return;
    const std::int64_t first = card.days.front().date;
    const std::int64_t span = card.days.back().date + 86400 - first;
    // Between Frankfurt (Oder) and Słubice: 52°20.5'N 14°33.0'E, a little apart for each record.
    auto point = [](std::int64_t time, int k) {
        return GnssPoint{time, 5 + k % 20, 52205 + k % 40, 14330 + k % 60, k % 7 == 3 ? 0 : 1};
    };
    for (int k = 0; k < crossings; ++k) {
        // Every fifth crossing falls on a UTC midnight, where days meet.
        std::int64_t time = first + span * k / std::max(crossings, 1);
        if (k % 5 == 0) time -= time % 86400;
        BorderCrossing b;
        b.countryLeft = k % 2 == 0 ? 13 : 40;
        b.countryEntered = k % 2 == 0 ? 40 : 13;
        b.position = point(time, k);
        b.odometer = 100000 + 25 * k;
        card.borderCrossings.push_back(b);
    }
    for (int k = 0; k < loadOperations; ++k) {
        const std::int64_t time = first + span * k / std::max(loadOperations, 1) + 600;
        card.loadOperations.push_back({time, 1 + k % 3, point(time, k), 100000 + 17 * k});
    }
    for (std::size_t d = 0; d < card.days.size(); d += 7) {
        card.loadTypeEntries.push_back({card.days[d].date + 6 * 3600, 1});
    }
    for (const Place& p : card.places) card.placeAuthentications.push_back({p.time, p.gnssTime % 2 == 0 ? 1 : 0});
}

} // namespace ddd::gen
