// Events_Data (0x0502) and Faults_Data (0x0503): G equal groups (11 Gen2 events, 6 Gen1 events,
// 2 faults) of 24-byte records:
//   type 1 | begin 4 | end 4 | vehicle registration 15
#include "core/card_efs.h"

namespace ddd {

Decoded<std::vector<EventFaultRecord>> decodeEventsFaults(Bytes value, std::uint32_t groups) {
    constexpr std::size_t kRecordSize = 24;
    if (groups == 0) return DecodeError{0, "event/fault parse: zero groups"};
    if (value.empty() || value.size() % (groups * kRecordSize) != 0) {
        return DecodeError{0, "events/faults EF: size " + std::to_string(value.size()) + " does not fit " +
                                  std::to_string(groups) + " groups of 24-byte records"};
    }
    const std::size_t count = value.size() / kRecordSize;
    ByteReader r(value);
    std::vector<EventFaultRecord> records;
    records.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        EventFaultRecord record;
        record.type = r.u8();
        record.begin = r.u32();
        record.end = r.u32();
        record.vehicle = readRegistration(r);
        if (!(isEmptyTime(record.begin) && isEmptyTime(record.end))) records.push_back(std::move(record));
    }
    if (r.failed()) return DecodeError{r.position(), "events/faults EF: truncated"};
    return records;
}

}  // namespace ddd
