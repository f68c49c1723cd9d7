// What the fleet overview needs beyond the archive index, kept in the index's SQLite file: per
// driver the findings and days with data of the analysis of all their downloads, per vehicle the
// calibration due date and the driving without a card of its merged downloads. Each entry names
// the contents (SHA-256) it was computed from and is computed again when they change.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/fleet.h"
#include "finder/archive_index.h"

namespace ddd::finder {

// The drivers and vehicles of the present downloads, with what the cache holds for their
// present contents, and the downloads each is computed from.
struct FleetArchive {
    std::vector<FleetDriverInput> drivers;
    std::vector<FleetVehicleInput> vehicles;
    std::vector<std::vector<std::string>> driverPaths, vehiclePaths;  // intact downloads, for the background
    std::vector<std::string> driverContents, vehicleContents;  // the contents' hashes, sorted and joined
};

class FleetCache {
public:
    // Opens the cache in the index file `file` (its tables are made when missing), or one in
    // memory for an empty `file` or a file that cannot be opened.
    explicit FleetCache(const std::string& file);
    ~FleetCache();
    FleetCache(const FleetCache&) = delete;
    FleetCache& operator=(const FleetCache&) = delete;

    FleetArchive archive(const std::vector<ArchiveDownload>& downloads) const;

    // Computes what `archive` lacks, driver by driver and vehicle by vehicle, each stored at once
    // and told to `stored(count so far)`; a set `stop` ends it after the one at hand. Returns how
    // many entries were stored.
    long complete(const FleetArchive& archive, const std::atomic<bool>* stop = nullptr,
                  const std::function<void(long)>& stored = nullptr);

    struct Database;

private:
    std::unique_ptr<Database> db_;
};

// The archive kept in `indexFile` and its overview with what the cache holds, dated `nowUtc`.
struct KeptFleet {
    std::string notice;  // German: what became of a damaged or unwritable index file
    std::string file;    // the index file, or empty when the index lives in memory only
    FleetArchive archive;
    FleetOverview overview;
};
KeptFleet openKeptFleet(const std::string& indexFile, std::int64_t nowUtc);

}  // namespace ddd::finder
