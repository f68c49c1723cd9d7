// Saving a freshly read card download as "card.ddd" in a new private folder of the system's
// temporary directory, where the analysis of an opened file can pick it up like any download.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace ddd {

struct SavedCardDownload {
    std::filesystem::path folder; // "tacho-card-" and 16 hex digits, owner-only access
    std::filesystem::path file;   // folder / "card.ddd"
    std::string error;            // German sentence when nothing was saved; no folder is left then
    bool ok() const { return error.empty(); }
};

SavedCardDownload saveCardDownload(std::span<const std::uint8_t> download);

} // namespace ddd
