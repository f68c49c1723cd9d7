// Specific_Conditions (0x0522): Gen1 N records of 5 bytes without a pointer; Gen2 a newest-record
// pointer of 2 bytes, then N records of 5 bytes:
//   entryTime 4 | conditionType 1
#include <algorithm>

#include "core/card_efs.h"
#include "core/cyclic_records.h"

namespace ddd {

Decoded<std::vector<SpecificConditionRecord>> decodeSpecificConditions(Bytes value, bool isGen2) {
    constexpr std::size_t kRecordSize = 5;
    const std::size_t pointerSize = isGen2 ? 2 : 0;
    if (!cyclic::fitsRecords(value.size(), pointerSize, kRecordSize)) {
        return DecodeError{0, cyclic::sizeMessage("Specific_Conditions", value.size(), pointerSize, kRecordSize)};
    }
    const std::size_t count = (value.size() - pointerSize) / kRecordSize;
    ByteReader r(value);
    if (isGen2) {
        const std::size_t newest = r.u16();
        if (count >= 1 && newest >= count) return DecodeError{0, "EF Specific_Conditions: newest pointer out of range"};
    }
    std::vector<SpecificConditionRecord> records;
    records.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        SpecificConditionRecord record;
        record.entryTime = r.u32();
        record.conditionType = r.u8();
        if (!isEmptyTime(record.entryTime)) records.push_back(record);
    }
    if (r.failed()) return DecodeError{r.position(), "EF Specific_Conditions: truncated"};
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.entryTime < b.entryTime; });
    return records;
}

}  // namespace ddd
