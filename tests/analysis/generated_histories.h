// Downloads of generated driver histories for the property tests and the benchmark: one long
// history written whole, or cut into overlapping partial downloads as a company collects them.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "core/card_file.h"
#include "tools/generator/card_generator.h"

namespace ddd::test {

// Decodes a written download; the generator's output must always decode.
inline DriverCardFile decodeWritten(const gen::CardDescription& card) {
    const std::vector<std::uint8_t> bytes = gen::writeCardDownload(card);
    auto decoded = decodeCardFile(bytes);
    if (!decoded) throw std::runtime_error("generated download does not decode: " + decoded.error().message);
    DriverCardFile file = std::move(decoded).value();
    file.records.clear();  // they point into `bytes`
    return file;
}

// Room for the whole history in one download.
inline gen::CardDescription withLargeActivityArea(gen::CardDescription card) {
    card.gen1.activityBytes = 65000;
    card.gen2.activityBytes = 65000;
    return card;
}

// The days [first, first + count) of `card` as one download. When `cutMinute` is given, the last
// day is cut there, as in a download taken while the card was still in use that day.
inline gen::CardDescription partialCard(const gen::CardDescription& card, std::size_t first, std::size_t count,
                                        int cutMinute = -1) {
    gen::CardDescription part = withLargeActivityArea(card);
    const std::size_t end = std::min(card.days.size(), first + count);
    part.days.assign(card.days.begin() + static_cast<std::ptrdiff_t>(std::min(first, end)),
                     card.days.begin() + static_cast<std::ptrdiff_t>(end));
    if (cutMinute > 0 && !part.days.empty()) {
        auto& changes = part.days.back().changes;
        while (changes.size() > 1 && changes.back().minute >= cutMinute) changes.pop_back();
    }
    return part;
}

// Downloads of `length` days starting every `step` days, covering the whole history.
inline std::vector<DriverCardFile> overlappingDownloads(const gen::CardDescription& card, std::size_t length,
                                                        std::size_t step, bool cutLastDays = false) {
    std::vector<DriverCardFile> files;
    for (std::size_t first = 0;; first += step) {
        const bool last = first + length >= card.days.size();
        const int cut = cutLastDays && !last ? 600 + static_cast<int>(first % 7) * 60 : -1;
        files.push_back(decodeWritten(partialCard(card, first, length, cut)));
        if (last) break;
    }
    return files;
}

}  // namespace ddd::test
