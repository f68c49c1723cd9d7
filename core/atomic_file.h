// Whole-file writes that a crash, a full disk or a failed render can never leave half done:
// the content goes to a temporary file beside the target, which replaces the target only once
// it is complete and on disk. And the matching whole-file read.
#pragma once

#include <cstdint>
#include <optional>
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
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool finished_ = false;
    bool failed_ = false;
    bool committed_ = false;
};

// Writes `content` to `path` atomically; true when the complete content is in place.
bool writeFileAtomically(const std::string& path, std::string_view content);

// The whole content of a file; nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path);

}  // namespace ddd
