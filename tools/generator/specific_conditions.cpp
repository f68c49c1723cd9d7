// Specific_Conditions (0x0522): Gen1: N records of 5 bytes; Gen2: newest-record pointer 2, then
// N records of 5 bytes. Record: entry time 4, condition type 1 (1 out of scope begin, 2 out of
// scope end, 3 ferry/train crossing begin, 4 ferry/train crossing end).
// Records go round the slots from slot 0; unused slots are zero.

#include "tools/generator/card_files.h"

namespace ddd::gen {

Bytes encodeSpecificConditions(const std::vector<SpecificCondition>& conditions, int slots, bool gen2) {
    std::vector<Bytes> slotBytes(static_cast<std::size_t>(slots), Bytes(5, 0));
    int newest = 0;
    for (std::size_t i = 0; slots > 0 && i < conditions.size(); ++i) {
        newest = cyclicSlot(i, slots);
        ByteWriter r;
        r.time(conditions[i].time);
        r.u8(static_cast<std::uint64_t>(conditions[i].type));
        slotBytes[static_cast<std::size_t>(newest)] = r.take();
    }
    ByteWriter w;
    if (gen2) w.u16(static_cast<std::uint64_t>(newest));
    for (const Bytes& b : slotBytes) w.bytes(b);
    return w.take();
}

} // namespace ddd::gen
