// The driver finder's index: every driving session found in a folder tree of card and
// vehicle-unit downloads, saying which driver used which vehicle from when to when.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/folder_walk.h"

namespace ddd {
struct DriverCardFile;
struct VuDownload;
}  // namespace ddd

namespace ddd::finder {

struct FinderSession {
    std::string surname;
    std::string firstNames;
    std::string card;  // first 14 characters of the card number: the driver, not the card copy
    std::string vin;
    std::string plate;
    std::uint32_t plateNation = 0;
    std::uint32_t slot = 0;  // 0 driver, 1 co-driver; card sessions carry 0
    std::int64_t start = 0;
    std::int64_t end = 0;  // 0: still open or not known
    std::int64_t odometerStart = 0;
    std::int64_t odometerEnd = 0;
    char source = 'C';  // 'C' driver card, 'V' vehicle unit
    std::string file;
};

// First names, a space and the surname; either alone when the other is empty.
std::string displayName(const FinderSession& session);

// What one download brings to the index before it meets the other downloads of a scan: the
// sessions of a card's applications, or every card stay a vehicle unit recorded.
struct DownloadSessions {
    bool vehicleUnit = false;
    bool recognised = true;  // false: neither a card nor an intact vehicle-unit download
    // A vehicle unit's registration nation, which its downloads without one take over by VIN.
    std::string vin;
    bool hasRegistration = false;
    std::uint32_t registrationNation = 0;
    std::vector<FinderSession> sessions;
};

// `path` becomes each session's file.
DownloadSessions cardDownloadSessions(const DriverCardFile& card, const std::string& path);
DownloadSessions vehicleDownloadSessions(const VuDownload& vu, bool recognised, const std::string& path);

struct QueryLookup;

class DriverIndex {
public:
    std::vector<FinderSession> sessions;
    std::int64_t filesIndexed = 0;       // read and classified, by all scans
    std::int64_t filesUnreadable = 0;    // skipped: could not be read
    std::int64_t filesUnrecognised = 0;  // read, but neither a card download nor an intact VU download
    std::vector<SkippedFile> skipped;    // files and folders the scans left out, and why

    // Adds the downloads under `folder`. `progress(done, total)` comes before each file; returning
    // false cancels the scan, keeping what was added so far. A set `stop` also ends the walk that
    // finds the files, which takes a while in a large tree before the first file is read.
    void scanDirectory(const std::string& folder, const std::function<bool(long, long)>& progress,
                       const std::atomic<bool>* stop = nullptr);

    // The two steps of a scan for callers that read the downloads themselves: every download in
    // scan order, then finishScan once.
    void addDownload(DownloadSessions download);
    void finishScan();

    void clear();

    // Queries use a lookup over the sessions to skip those that cannot match; scanDirectory and
    // clear keep it current. Code that edits `sessions` itself calls this afterwards (until then
    // queries take the slower full pass).
    void buildLookup();
    const QueryLookup* lookup() const;

private:
    void addCardSession(FinderSession session);

    using StayKey = std::tuple<std::string, std::string, std::int64_t, std::int64_t>;
    struct StayKeyHash {
        std::size_t operator()(const StayKey& key) const noexcept;
    };
    std::unordered_map<std::string, std::size_t> cardSessionByKey_;
    std::vector<DownloadSessions> pendingVehicles_;  // their sessions wait for the scan's nation lookup
    std::unordered_set<StayKey, StayKeyHash> seenStays_;
    std::shared_ptr<const QueryLookup> lookup_;
};

struct FinderStats {
    long files = 0;
    long sessions = 0;
    long drivers = 0;
    long vehicles = 0;
    long long earliest = 0;
    long long latest = 0;
};

FinderStats stats(const DriverIndex& index);
std::string statsJson(const DriverIndex& index);

}  // namespace ddd::finder
