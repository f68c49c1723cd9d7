// DDD-Sync: copies every ".ddd" download found below a source folder into one flat archive
// folder, never overwriting what the archive already holds.
#pragma once

#include <cstdint>
#include <string>

namespace ddd::app {

struct SyncResult {
    bool ok = false;
    std::int64_t copied = 0;
    std::int64_t skipped = 0;
};

// Files are matched by name alone; a name the archive already has is skipped. A copy is written
// under a hidden temporary name and renamed into place, so an interrupted sync leaves no
// truncated download in the archive. Copy failures make ok false but do not stop the run.
SyncResult syncDddArchive(const std::string& source, const std::string& target);

}  // namespace ddd::app
