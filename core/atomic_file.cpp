#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <random>
#include <utility>

namespace ddd {
namespace {

std::string randomSuffix() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

// The temporary name keeps the target's folder (so rename stays on one file system) and is
// hidden, so that a folder listing taken meanwhile never shows it as a finished file.
std::string temporaryNameFor(const std::string& target) {
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + "." + randomSuffix() + ".part";
}

}  // namespace

PendingFile::PendingFile(std::string targetPath) : target_(std::move(targetPath)) {
    if (target_.empty() || target_.back() == '/') return;
    for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
        temporary_ = temporaryNameFor(target_);
        // Mode 0666 lets the user's umask decide, as for any other file the user saves.
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        error_ = errno;
        temporary_.clear();
    }
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      fd_(other.fd_),
      finished_(other.finished_),
      failed_(other.failed_),
      committed_(other.committed_),
      error_(other.error_) {
    other.fd_ = -1;
    other.temporary_.clear();
}

PendingFile::~PendingFile() { discard(); }

bool PendingFile::write(std::string_view bytes) {
    if (fd_ < 0 || finished_) return false;
    while (!bytes.empty() && !failed_) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) fail(written < 0 ? errno : ENOSPC);
        else bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return !failed_;
}

bool PendingFile::finish() {
    if (finished_) return !failed_;
    if (fd_ < 0) return false;
    finished_ = true;
    if (::fsync(fd_) != 0) fail(errno);
    if (::close(fd_) != 0) fail(errno);
    fd_ = -1;
    return !failed_;
}

bool PendingFile::commit() {
    if (committed_ || temporary_.empty()) return committed_;
    if (!finished_ && !finish()) return false;
    if (failed_) return false;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail(errno);
        return false;
    }
    committed_ = true;
    temporary_.clear();
    return true;
}

void PendingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

void PendingFile::fail(int error) {
    failed_ = true;
    if (error_ == 0) error_ = error;
}

bool writeFileAtomically(const std::string& path, std::string_view content, int* systemError) {
    PendingFile file(path);
    const bool written = file.isOpen() && file.write(content) && file.commit();
    if (!written && systemError) *systemError = file.systemError();
    return written;
}

std::string systemErrorText(int error) {
    switch (error) {
    case EACCES:
    case EPERM: return "keine Berechtigung";
    case ENOENT: return "existiert nicht (mehr)";
    case ENOTDIR: return "ein Teil des Pfades ist kein Ordner";
    case ENAMETOOLONG: return "Pfad zu lang";
    case ELOOP: return "zu viele Verknüpfungen hintereinander";
    case EMFILE:
    case ENFILE: return "zu viele offene Dateien";
    case EIO: return "Lesefehler des Datenträgers";
    case ENOSPC: return "kein Platz mehr auf dem Datenträger";
    case EROFS: return "Datenträger ist schreibgeschützt";
    case EDQUOT: return "Speicherkontingent erschöpft";
    default: return std::string("Systemfehler: ") + std::strerror(error);
    }
}

std::string notAFileText(std::uint32_t mode) {
    if (S_ISDIR(mode)) return "ist ein Ordner, keine Datei";
    if (S_ISFIFO(mode)) return "ist eine Pipe, keine Datei";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "ist ein Gerät, keine Datei";
    if (S_ISSOCK(mode)) return "ist ein Socket, keine Datei";
    return "ist keine gewöhnliche Datei";
}

namespace {

// "300 MB", "0,3 MB": the German decimal comma, one decimal only where it says something.
std::string megabytes(std::uint64_t bytes) {
    char text[32];
    if (bytes % 1000000 == 0) std::snprintf(text, sizeof text, "%llu MB", static_cast<unsigned long long>(bytes / 1000000));
    else std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', ',');
    return result;
}

FileRead refused(ReadProblem problem, int error = 0) {
    FileRead read;
    read.problem = problem;
    read.systemError = error;
    return read;
}

ReadProblem problemOfError(int error) {
    if (error == ENOENT || error == ENOTDIR) return ReadProblem::Missing;
    if (error == EACCES || error == EPERM) return ReadProblem::NoPermission;
    return ReadProblem::Failed;
}

}  // namespace

std::string FileRead::reason() const {
    switch (problem) {
    case ReadProblem::None: return {};
    case ReadProblem::Missing: return "existiert nicht";
    case ReadProblem::Folder:
    case ReadProblem::NotAFile: return notAFileText(mode);
    case ReadProblem::TooLarge:
        return "ist zu groß (" + megabytes(size) + "; ein Download ist höchstens " + megabytes(limit) + " groß)";
    case ReadProblem::NoPermission: return "keine Leseberechtigung";
    case ReadProblem::Failed: return "nicht lesbar: " + systemErrorText(systemError);
    }
    return {};
}

namespace {

// Opens a regular file for reading, refusing what is not one. The type is known before opening,
// so a device is never opened; the open itself does not wait for a pipe's writer, and the second
// look at the opened file catches a swap between. On success `fd` is open and `read.size` set.
FileRead openRegularFile(const std::string& path, int& fd) {
    fd = -1;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return refused(problemOfError(errno), errno);
    fd = S_ISREG(info.st_mode) ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY) : -1;
    if (fd >= 0 && ::fstat(fd, &info) != 0) info.st_mode = 0;
    if (!S_ISREG(info.st_mode)) {
        if (fd >= 0) ::close(fd);
        fd = -1;
        FileRead read = refused(S_ISDIR(info.st_mode) ? ReadProblem::Folder : ReadProblem::NotAFile);
        read.mode = info.st_mode;
        return read;
    }
    if (fd < 0) return refused(problemOfError(errno), errno);
    FileRead read;
    read.size = static_cast<std::uint64_t>(info.st_size);
    read.device = static_cast<std::uint64_t>(info.st_dev);
    read.inode = static_cast<std::uint64_t>(info.st_ino);
    return read;
}

}  // namespace

// Only files a folder walk listed as regular ones are read this way: opened at once, without
// a look before, and refused after when the opened file is no regular one (any more).
FileReader::FileReader(const std::string& path) { open(AT_FDCWD, path.c_str()); }

FileReader::FileReader(int folderFd, const char* name) { open(folderFd, name); }

void FileReader::open(int folderFd, const char* path) {
    fd_ = ::openat(folderFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        status_ = refused(problemOfError(errno), errno);
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        status_ = refused(S_ISDIR(info.st_mode) ? ReadProblem::Folder : ReadProblem::NotAFile);
        status_.mode = info.st_mode;
        ::close(fd_);
        fd_ = -1;
        return;
    }
    status_.size = static_cast<std::uint64_t>(info.st_size);
    status_.device = static_cast<std::uint64_t>(info.st_dev);
    status_.inode = static_cast<std::uint64_t>(info.st_ino);
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t FileReader::readAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    std::size_t got = 0;
    while (fd_ >= 0 && got < into.size()) {
        const ssize_t n = ::pread(fd_, into.data() + got, into.size() - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            status_ = refused(ReadProblem::Failed, errno);
            ::close(fd_);
            fd_ = -1;
        }
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

namespace {

// Reads an open regular file whose size `read` tells, and closes it. Read to the end rather than
// to the size told, so that a file growing meanwhile is still read whole, but never beyond the
// limit. The end is confirmed by a read into a small buffer: growing the content for it would
// allocate and clear far more than the file holds.
FileRead readToEnd(int fd, FileRead read, std::uint64_t maxBytes) {
    read.limit = maxBytes;
    if (read.size > maxBytes) {
        ::close(fd);
        read.problem = ReadProblem::TooLarge;
        return read;
    }
    read.bytes.resize(static_cast<std::size_t>(read.size));
    std::size_t got = 0;
    char probe[512];
    while (got <= maxBytes) {
        const bool atSizeTold = got == read.bytes.size();
        const ssize_t n = atSizeTold ? ::read(fd, probe, sizeof probe) : ::read(fd, read.bytes.data() + got, read.bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return refused(ReadProblem::Failed, error);
        }
        if (n == 0) break;
        if (atSizeTold) {
            read.bytes.insert(read.bytes.end(), probe, probe + n);
            read.bytes.resize(std::min<std::uint64_t>(maxBytes + 1, got + static_cast<std::size_t>(n) + 64 * 1024));
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got > maxBytes) {
        read.size = got;
        read.problem = ReadProblem::TooLarge;
        read.bytes.clear();
        return read;
    }
    read.bytes.resize(got);
    return read;
}

}  // namespace

FileRead FileReader::readWhole(std::uint64_t maxBytes) {
    if (fd_ < 0) return std::move(status_);
    // readAt never moves the file's offset, so the read starts at the beginning.
    return readToEnd(std::exchange(fd_, -1), std::move(status_), maxBytes);
}

FileRead readWholeFile(const std::string& path, std::uint64_t maxBytes) {
    int fd = -1;
    FileRead read = openRegularFile(path, fd);
    if (fd < 0) return read;
    return readToEnd(fd, std::move(read), maxBytes);
}

}  // namespace ddd
