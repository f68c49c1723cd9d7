// Whole-file writes that a crash, a full disk or a failed render can never leave half done:
// the content goes to a temporary file beside the target, which replaces the target only once
// it is complete and on disk. And the matching whole-file read, which refuses what a folder tree
// may hold besides files (folders, pipes, devices, giant files) instead of blocking on it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ddd {

// A file being written. The temporary file is removed again unless commit() succeeds, so an
// abandoned or failed write leaves the target untouched and no stray file behind.
class PendingFile {
public:
    // Creates the temporary file in the target's folder; check isOpen().
    explicit PendingFile(std::string targetPath);
    ~PendingFile();
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&&) = delete;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // The system's error number of the first step that failed, 0 when none did.
    int systemError() const { return error_; }
    const std::string& targetPath() const { return target_; }
    // Where the content is written before commit; another writer (a print job) may fill it.
    const std::string& temporaryPath() const { return temporary_; }

    bool write(std::string_view bytes);
    // Flushes the content to disk and closes the file; false when any of that failed.
    bool finish();
    // finish() when not done yet, then renames the temporary file onto the target.
    bool commit();
    void discard();

private:
    void fail(int error);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool finished_ = false;
    bool failed_ = false;
    bool committed_ = false;
    int error_ = 0;
};

// Writes `content` to `path` atomically; true when the complete content is in place. On failure
// `systemError`, when given, receives the system's error number.
bool writeFileAtomically(const std::string& path, std::string_view content, int* systemError = nullptr);

// A driver card holds at most about 25 KB in its first-generation application and under 100 KB
// in its second; with certificates, signatures and record headers a card download stays far
// below this size.
inline constexpr std::uint64_t kMaxCardDownloadBytes = 1000000;
// A vehicle unit's download of a whole year of activities, events, places and technical data,
// with the detailed speed of its last 24 hours of driving, stays under 10 MB.
inline constexpr std::uint64_t kMaxDownloadBytes = 16000000;

enum class ReadProblem { None, Missing, Folder, NotAFile, TooLarge, NoPermission, Failed };

// The content of a file, or why it was not read.
struct FileRead {
    std::vector<std::uint8_t> bytes;
    ReadProblem problem = ReadProblem::None;
    std::uint64_t size = 0;        // as the file system tells it, also for a file too large
    std::uint64_t limit = 0;       // the size the read refused to exceed
    std::uint32_t mode = 0;        // the file's type bits, for naming what it is
    std::uint64_t device = 0;      // with `inode`, which file was read, whatever the path
    std::uint64_t inode = 0;
    int systemError = 0;

    explicit operator bool() const { return problem == ReadProblem::None; }
    std::vector<std::uint8_t>& operator*() { return bytes; }
    const std::vector<std::uint8_t>& operator*() const { return bytes; }
    const std::vector<std::uint8_t>* operator->() const { return &bytes; }
    // Why the file was not read, in German for the user ("ist ein Ordner").
    std::string reason() const;
};

// Reads a regular file (a link to one counts) of at most `maxBytes`. Folders, pipes, devices and
// sockets are refused without reading, and a pipe never blocks the caller; a larger file is
// refused before any byte is read.
FileRead readWholeFile(const std::string& path, std::uint64_t maxBytes = kMaxDownloadBytes);

// A regular file open for reads at chosen offsets, so that a few of its parts tell what it is
// without the rest being read.
class FileReader {
public:
    // For files a folder walk found to be regular ones; refusals as readWholeFile's, in status().
    explicit FileReader(const std::string& path);
    // The same for the file `name` of the folder open as `folderFd`.
    FileReader(int folderFd, const char* name);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // `size`, `device` and `inode` those of the open file; a read that failed refuses the file.
    const FileRead& status() const { return status_; }
    // Reads up to into.size() bytes at `offset`; fewer only where the file ends or a read fails.
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> into);
    // The whole file, as readWholeFile reads it; the reader is spent afterwards.
    FileRead readWhole(std::uint64_t maxBytes);

private:
    void open(int folderFd, const char* path);

    int fd_ = -1;
    FileRead status_;
};

// German text for what a path is instead of a regular file ("ist eine Pipe, keine Datei").
std::string notAFileText(std::uint32_t mode);

// German text for a system error number ("keine Berechtigung").
std::string systemErrorText(int error);

}  // namespace ddd
