// The kept archive index: every download under the folders the finder scans, with the facts read
// from it and its sessions, in an SQLite file, so that the finder starts with what it knew and a
// rescan reads only the files that changed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "finder/driver_index.h"

namespace ddd::finder {

// $XDG_DATA_HOME/Orvendel/archive.sqlite (~/.local/share without XDG_DATA_HOME).
std::string defaultArchiveIndexPath();

// What a rescan found and did.
struct RescanCounts {
    long files = 0;     // found by the walk
    long read = 0;      // new, changed or unreadable before: read again
    long decoded = 0;   // content not seen before: decoded
    long vanished = 0;  // gone since the last rescan
    bool complete = false;  // false: cancelled; what was read is kept, nothing marked vanished
};

// The facts kept about one download (a content: the same bytes under two paths are one).
struct ArchiveDownload {
    std::string path;     // the first of its present paths in walk order
    std::string sha256;   // of the content, in hexadecimal
    char kind = 'U';      // 'C' driver card, 'V' vehicle unit, 'U' neither (treated as a unit)
    std::string problem;  // English: why it is no intact download; empty otherwise
    int generation = 0;   // 1 first, 2 second, 3 second version 2; 0 not known
    std::string cardNumber;  // card: the whole number
    std::string driver;      // card: the first 14 characters of the number, the same for every card of the driver
    int nation = 0;          // card: issuing nation; unit: registration nation
    std::string surname, firstNames;
    std::int64_t cardExpiry = 0;
    std::string vin, registration;
    std::int64_t periodBegin = 0, periodEnd = 0;  // the data the download covers
    std::int64_t downloaded = 0;                  // 0: the download did not say
    std::string signature;                        // authenticityText of its check
};

class ArchiveIndex {
public:
    // Opens the index kept at `file`, or one in memory for an empty `file`. A damaged or foreign
    // file, or one from a newer program, is set aside and a new index begun; where nothing can be
    // written the index lives in memory. notice() says so, in German.
    explicit ArchiveIndex(const std::string& file);
    ~ArchiveIndex();
    ArchiveIndex(const ArchiveIndex&) = delete;
    ArchiveIndex& operator=(const ArchiveIndex&) = delete;

    const std::string& notice() const { return notice_; }
    bool kept() const { return !file_.empty(); }

    // The folders of the last complete rescan, in the order given.
    std::vector<std::string> folders() const;

    // Brings the index up to the files under `folders` now. `progress(done, total)` comes before
    // each file; returning false, or a set `stop`, cancels with every file read so far kept.
    // `committed(files)` follows each transaction that stored read files. Throws
    // std::runtime_error only when not even an index in memory can be written.
    RescanCounts rescan(const std::vector<std::string>& folders, const std::function<bool(long, long)>& progress,
                        const std::atomic<bool>* stop = nullptr, const std::function<void(long)>& committed = nullptr);

    // The finder's index over the present files: the same sessions, counts and skipped files as
    // scanning the folders afresh, except that a content found under several paths counts once.
    // The first call after a rescan that changed it takes over the index the rescan built.
    DriverIndex driverIndex() const;

    // Every download of the present files, in walk order.
    std::vector<ArchiveDownload> downloads() const;

    // The card downloads of one driver (issuing nation and the first 14 characters of the card
    // number, as the dashboard groups them), as present paths in walk order.
    std::vector<std::string> driverDownloads(int nation, const std::string& card) const;

    // For opening the card download `opened`: the files under its folder that may hold downloads
    // of its driver (those the index holds for the driver, and those it could not read), in walk
    // order, with what a walk of the folder leaves out; so the driver is found without reading
    // the whole tree. Absent when the index does not know the file as it is now, or a folder
    // below changed since the last complete rescan (a file added, renamed or removed): then
    // only a walk tells. A file rewritten in place, keeping its name, is seen at the next rescan.
    std::optional<DownloadWalk> driverCandidates(const std::string& opened) const;

    struct Database;

private:
    void begin(const std::string& file);
    void setAside(const std::string& why);
    void fallBackToMemory(const std::string& why);
    RescanCounts rescanOnce(const std::vector<std::string>& folders, const std::function<bool(long, long)>& progress,
                            const std::atomic<bool>* stop, const std::function<void(long)>& committed);
    RescanCounts rescanFiles(const std::vector<std::string>& folders, const std::function<bool(long, long)>& progress,
                             const std::atomic<bool>* stop, const std::function<void(long)>& committed);

    std::unique_ptr<Database> db_;
    mutable std::optional<DriverIndex> handedOver_;
    std::string file_;
    std::string notice_;
};

}  // namespace ddd::finder
