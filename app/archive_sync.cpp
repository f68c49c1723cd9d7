#include "app/archive_sync.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <system_error>

namespace ddd::app {
namespace {

namespace fs = std::filesystem;

bool hasDddExtension(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = name.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension == ".ddd";
}

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
Copied copyIntoArchive(const fs::path& source, const fs::path& destination) {
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) return Copied::Failed;
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0) return Copied::Failed;

    // The temporary name does not end in ".ddd", so a walk that meets it (an archive inside the
    // source) passes it over, and a leftover of an interrupted run is not taken for a download.
    std::string pattern = (destination.parent_path() / ("." + destination.filename().string() + ".sync-XXXXXX")).string();
    FileDescriptor out(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!out.valid()) return Copied::Failed;
    const fs::path temporary = pattern;

    const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
    const bool written = copyBytes(in.get(), out.get()) && ::fchmod(out.get(), sourceStat.st_mode & 0666) == 0 &&
                         ::futimens(out.get(), times) == 0 && ::fdatasync(out.get()) == 0 && out.close();
    if (!written) {
        ::unlink(temporary.c_str());
        return Copied::Failed;
    }
    const Placed placed = placeWithoutReplacing(temporary, destination);
    if (placed != Placed::Done) ::unlink(temporary.c_str());
    if (placed == Placed::Exists) return Copied::Exists;
    return placed == Placed::Done ? Copied::Done : Copied::Failed;
}

}  // namespace

SyncResult syncDddArchive(const std::string& source, const std::string& target) {
    SyncResult result;
    if (source.empty() || target.empty()) return result;

    std::error_code error;
    fs::recursive_directory_iterator walk(source, fs::directory_options::skip_permission_denied, error);
    if (error) return result;

    result.ok = true;
    bool copyFailed = false;
    // Copies made by this run that the walk meets again (an archive inside the source) are
    // neither copied nor counted a second time.
    std::set<fs::path> copiedHere;
    for (const fs::recursive_directory_iterator end; walk != end; walk.increment(error)) {
        if (error) break;
        const fs::directory_entry& entry = *walk;
        std::error_code typeError;
        if (!entry.is_regular_file(typeError) || !hasDddExtension(entry.path())) continue;

        const fs::path destination = fs::path(target) / entry.path().filename();
        if (copiedHere.count(destination) && fs::equivalent(entry.path(), destination, typeError)) continue;
        if (fs::exists(fs::symlink_status(destination, typeError))) {
            ++result.skipped;
            continue;
        }
        switch (copyIntoArchive(entry.path(), destination)) {
        case Copied::Done:
            ++result.copied;
            copiedHere.insert(destination);
            break;
        case Copied::Exists: ++result.skipped; break;
        case Copied::Failed: copyFailed = true; break;
        }
    }
    if (error || copyFailed) result.ok = false;
    return result;
}

}  // namespace ddd::app
