// Events_Data (0x0502) and Faults_Data (0x0503): G groups of `perType` records of 24 bytes:
//   event/fault type 1, begin 4, end 4, vehicle registration 15.
// G is 6 (Gen1 events), 11 (Gen2 events) or 2 (faults). A record goes to the group of its type
// (or the group given); within a group, records fill the slots in order and the oldest is
// replaced once the group is full. Unused slots are zero.

#include "tools/generator/card_files.h"
#include "tools/generator/card_generator.h"

#include <stdexcept>
#include <string>

namespace ddd::gen {
namespace {

// Event types stored per group, in group order; a group's range is [first, last].
struct TypeRange {
    int first;
    int last;
};
constexpr TypeRange kEventGroups[] = {
    {0x03, 0x03}, // time overlap
    {0x05, 0x05}, // card insertion while driving
    {0x06, 0x06}, // last card session not correctly closed
    {0x08, 0x08}, // power supply interruption
    {0x09, 0x09}, // motion data error
    {0x10, 0x2F}, // security breach attempts
    {0x0A, 0x0A}, // second generation from here on: vehicle motion conflict
    {0x0B, 0x0B},
    {0x0C, 0x0C},
    {0x0D, 0x0D},
    {0x0E, 0x0E},
};

} // namespace

int eventGroupCount(bool gen2) { return gen2 ? 11 : 6; }

int eventGroup(int type, bool gen2) {
    for (int g = 0; g < eventGroupCount(gen2); ++g) {
        if (type >= kEventGroups[g].first && type <= kEventGroups[g].last) return g;
    }
    return 0;
}

int faultGroup(int type) { return type >= 0x40 && type <= 0x4F ? 1 : 0; }

Bytes encodeEventsFaults(const std::vector<EventFaultRecord>& records, int groups, int perType, bool events,
                         bool gen2) {
    const std::size_t perGroup = static_cast<std::size_t>(perType);
    Bytes ef(static_cast<std::size_t>(groups) * perGroup * 24, 0);
    std::vector<std::size_t> written(static_cast<std::size_t>(groups), 0);
    for (const EventFaultRecord& r : records) {
        const int group = r.group >= 0 ? r.group : events ? eventGroup(r.type, gen2) : faultGroup(r.type);
        if (group >= groups) throw std::invalid_argument("event/fault group " + std::to_string(group) + " out of range");
        if (perType == 0) continue;
        const auto g = static_cast<std::size_t>(group);
        const std::size_t slot = g * perGroup + written[g]++ % perGroup;
        ByteWriter w;
        w.u8(static_cast<std::uint64_t>(r.type));
        w.time(r.begin);
        w.time(r.end);
        writeRegistration(w, r.vehicle);
        const Bytes b = w.take();
        std::copy(b.begin(), b.end(), ef.begin() + static_cast<std::ptrdiff_t>(slot * 24));
    }
    return ef;
}

} // namespace ddd::gen
