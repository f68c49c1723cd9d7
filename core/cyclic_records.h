// Shared size and pointer checks of the card EFs that are arrays of fixed-size records.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/card_efs.h"

namespace ddd::cyclic {

inline std::string sizeMessage(const char* ef, std::size_t length, std::size_t pointerSize, std::size_t recordSize) {
    return std::string("EF ") + ef + ": size " + std::to_string(length) + " does not fit " +
           std::to_string(pointerSize) + " + N*" + std::to_string(recordSize);
}

inline bool fitsRecords(std::size_t length, std::size_t pointerSize, std::size_t recordSize) {
    return length >= pointerSize && (length - pointerSize) % recordSize == 0;
}

// Slots of a cyclic EF in chronological order: starting after the newest, so the newest comes last.
template <typename Record, typename IsEmpty>
std::vector<Record> chronological(const std::vector<Record>& slots, std::size_t newest, IsEmpty isEmpty) {
    std::vector<Record> ordered;
    ordered.reserve(slots.size());
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const Record& record = slots[(newest + 1 + k) % slots.size()];
        if (!isEmpty(record)) ordered.push_back(record);
    }
    return ordered;
}

}  // namespace ddd::cyclic
