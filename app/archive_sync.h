// DDD-Sync: copies every ".ddd" download found below a source folder into one flat archive
// folder, never overwriting what the archive already holds.
#pragma once

#include <cstdint>
#include <string>

namespace ddd::app {

struct SyncResult {
    bool ok = false;
    std::int64_t copied = 0;
    std::int64_t skipped = 0;  // names the archive already has
    std::int64_t failed = 0;   // files that could not be copied, and folders that could not be read
    std::string error;         // German: the first failure and its reason, empty when none
};

// Files are matched by name alone; a name the archive already has is skipped. A copy is written
// under a hidden temporary name and renamed into place, so an interrupted sync leaves no
// truncated download in the archive. Copy failures make ok false but do not stop the run. The
// source is walked like every other download folder (links to folders not followed, what cannot
// be read counted as failed).
SyncResult syncDddArchive(const std::string& source, const std::string& target);

}  // namespace ddd::app
