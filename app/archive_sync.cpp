#include "app/archive_sync.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "core/atomic_file.h"
#include "core/folder_walk.h"
#include "core/json_writer.h"

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool copyBytes(int from, int to) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = ::write(to, buffer + written, static_cast<size_t>(got - written));
            if (put < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            written += put;
        }
    }
}

// Moves the finished temporary file to its name only when that name is still free, so a file
// that appeared meanwhile is never replaced. Hard links stand in where the file system cannot
// rename without replacing.
enum class Placed { Done, Exists, Failed };
Placed placeWithoutReplacing(const fs::path& temporary, const fs::path& destination) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) return Placed::Done;
    if (errno == EEXIST) return Placed::Exists;
    if (errno != EINVAL && errno != ENOSYS) return Placed::Failed;
    if (::link(temporary.c_str(), destination.c_str()) != 0) return errno == EEXIST ? Placed::Exists : Placed::Failed;
    ::unlink(temporary.c_str());
    return Placed::Done;
}

enum class Copied { Done, Exists, Failed };
// On failure `error` holds the system's error number of the step that failed.
Copied copyIntoArchive(const fs::path& source, const fs::path& destination, int& error) {
    // Not blocking on a pipe that replaced the file since the walk met it; only a file is copied.
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat sourceStat {};
    if (!in.valid() || ::fstat(in.get(), &sourceStat) != 0) {
        error = errno;
        return Copied::Failed;
    }
    if (!S_ISREG(sourceStat.st_mode)) {
        error = EINVAL;
        return Copied::Failed;
    }

    // The temporary name does not end in ".ddd", so a walk that meets it (an archive inside the
    // source) passes it over, and a leftover of an interrupted run is not taken for a download.
    std::string pattern = (destination.parent_path() / ("." + destination.filename().string() + ".sync-XXXXXX")).string();
    FileDescriptor out(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!out.valid()) {
        error = errno;
        return Copied::Failed;
    }
    const fs::path temporary = pattern;

    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    errno = 0;
    const bool written = copyBytes(in.get(), out.get()) && ::fchmod(out.get(), sourceStat.st_mode & 0666) == 0 &&
                         ::futimens(out.get(), times) == 0 && ::fdatasync(out.get()) == 0 && out.close();
    if (!written) {
        error = errno != 0 ? errno : EIO;
        ::unlink(temporary.c_str());
        return Copied::Failed;
    }
    const Placed placed = placeWithoutReplacing(temporary, destination);
    if (placed == Placed::Failed) error = errno;
    if (placed != Placed::Done) ::unlink(temporary.c_str());
    if (placed == Placed::Exists) return Copied::Exists;
    return placed == Placed::Done ? Copied::Done : Copied::Failed;
}

void noteFailure(SyncResult& result, const std::string& path, const std::string& reason) {
    ++result.failed;
    if (result.error.empty()) result.error = visibleText(path) + ": " + reason;
}

}  // namespace

SyncResult syncDddArchive(const std::string& source, const std::string& target) {
    SyncResult result;
    if (source.empty() || target.empty()) return result;

    DownloadWalk walk = findDownloads(source);
    for (const SkippedFile& skipped : walk.skipped) noteFailure(result, skipped.path, skipped.reason);
    // The walk is complete before the first copy, so copies made by this run into an archive
    // inside the source are never met again.
    for (const std::string& file : walk.files) {
        const fs::path entry(file);
        const fs::path destination = fs::path(target) / entry.filename();
        std::error_code typeError;
        if (fs::exists(fs::symlink_status(destination, typeError))) {
            ++result.skipped;
            continue;
        }
        int error = 0;
        switch (copyIntoArchive(entry, destination, error)) {
        case Copied::Done: ++result.copied; break;
        case Copied::Exists: ++result.skipped; break;
        case Copied::Failed: noteFailure(result, file, systemErrorText(error)); break;
        }
    }
    result.ok = result.failed == 0;
    return result;
}

}  // namespace ddd::app
