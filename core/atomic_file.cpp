#include "core/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

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
    if (fd_ < 0) temporary_.clear();
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      fd_(other.fd_),
      finished_(other.finished_),
      failed_(other.failed_),
      committed_(other.committed_) {
    other.fd_ = -1;
    other.temporary_.clear();
}

PendingFile::~PendingFile() { discard(); }

bool PendingFile::write(std::string_view bytes) {
    if (fd_ < 0 || finished_) return false;
    while (!bytes.empty() && !failed_) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failed_ = true;
        else bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return !failed_;
}

bool PendingFile::finish() {
    if (finished_) return !failed_;
    if (fd_ < 0) return false;
    finished_ = true;
    if (::fsync(fd_) != 0) failed_ = true;
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
    return !failed_;
}

bool PendingFile::commit() {
    if (committed_ || temporary_.empty()) return committed_;
    if (!finished_ && !finish()) return false;
    if (failed_ || std::rename(temporary_.c_str(), target_.c_str()) != 0) return false;
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

bool writeFileAtomically(const std::string& path, std::string_view content) {
    PendingFile file(path);
    return file.isOpen() && file.write(content) && file.commit();
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

}  // namespace ddd
