// The walk of a folder tree for ".ddd" downloads that every caller shares (the analysis of a
// driver, the finder's scan, the archive sync). It never follows a link to a folder, never goes
// deeper than a bound, never blocks on what is not a file, and names what it left out and why.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/atomic_file.h"

namespace ddd {

// Deeper than any archive a company keeps by year, month and driver; it bounds the handles a
// walk holds open (one per level).
inline constexpr int kMaxFolderDepth = 64;

// A file or folder left out, with the German reason shown to the user.
struct SkippedFile {
    std::string path;
    std::string reason;
};

struct DownloadWalk {
    std::vector<std::string> files;  // regular ".ddd" files, links to them included
    std::vector<SkippedFile> skipped;
};

// Size, modification time and inode of a file or folder, by which a kept index tells a change;
// all -1 when it could not be asked.
struct FileState {
    std::int64_t size = -1, mtimeNs = -1, inode = -1;
    bool operator==(const FileState&) const = default;
};

// What a walk saw, for callers that keep an index: the state of each file (parallel to the
// walk's files) and of each folder it entered, taken through the open folder handles, a
// folder's before its entries were listed.
struct WalkStates {
    std::vector<FileState> files;
    std::vector<std::pair<std::string, FileState>> folders;
};

// {"count":N,"files":[{"file":...,"reason":...},...]} for the pages: names in their visible form,
// at most kListedSkippedFiles of them, the count telling all.
inline constexpr std::size_t kListedSkippedFiles = 200;
std::string skippedFilesJson(const std::vector<SkippedFile>& skipped);

// True for a name whose extension, in any letter case, is ".ddd".
bool hasDddExtension(std::string_view name);

// The ".ddd" files of a folder tree as a walk finds them, held without a path string for each:
// a walk of a large archive lists tens of thousands of files to identify a few of them.
class DownloadListing {
public:
    std::size_t size() const { return files_.size(); }
    std::size_t folderOf(std::size_t file) const { return files_[file].folder; }
    const std::string& folderPath(std::size_t folder) const { return folders_[folder]; }
    // The file's name within its folder, zero-terminated.
    const char* name(std::size_t file) const { return names_.data() + files_[file].name; }
    std::string path(std::size_t file) const;

    std::size_t addFolder(std::string path);
    void addFile(std::size_t folder, std::string_view name);

    std::vector<SkippedFile> skipped;

private:
    struct File {
        std::size_t folder;
        std::size_t name;  // offset in names_
    };
    std::vector<std::string> folders_;
    std::string names_;  // every name followed by a zero byte
    std::vector<File> files_;
};

// Opens the files of a listing relative to their folder, keeping the last folder open: a run of
// files of one folder costs one open of the folder, and no path is looked up from the root.
class ListedFileOpener {
public:
    explicit ListedFileOpener(const DownloadListing& listing) : listing_(listing) {}
    ~ListedFileOpener();
    ListedFileOpener(const ListedFileOpener&) = delete;
    ListedFileOpener& operator=(const ListedFileOpener&) = delete;

    FileReader open(std::size_t file);

private:
    const DownloadListing& listing_;
    std::size_t folder_ = 0;
    int folderFd_ = -1;
};

// Every ".ddd" file below `folder`, names in byte order within each folder, descending into a
// sub-folder where it sorts. Links to folders are listed as skipped, not followed; so are
// folders that cannot be opened or lie too deep, and ".ddd" entries that are no file. A set
// `stop` ends the walk at the next folder, with nothing listed. `states`, when given, receives
// what the walk saw.
DownloadListing listDownloads(const std::string& folder, const std::atomic<bool>* stop = nullptr, WalkStates* states = nullptr);
// The same with a path for each file.
DownloadWalk findDownloads(const std::string& folder, const std::atomic<bool>* stop = nullptr, WalkStates* states = nullptr);

}  // namespace ddd
