#include "core/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/atomic_file.h"
#include "core/json_writer.h"

namespace ddd {
namespace {

// "folder/name", without doubling a slash the folder ends with.
std::string joined(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder);
    if (path.empty() || path.back() != '/') path += '/';
    path.append(name);
    return path;
}

// An entry of a folder, its name kept in the folder's one block of names.
struct Entry {
    std::uint32_t name = 0;
    std::uint16_t length = 0;
    unsigned char type = DT_UNKNOWN;
};

// One open folder of the walk: its handle (children are opened relative to it, so the walk's
// cost does not grow with the depth) and its sorted entries.
struct Level {
    int fd = -1;
    std::size_t folder = 0;  // in the listing
    std::string names;       // every entry's name followed by a zero byte
    std::vector<Entry> entries;
    std::size_t next = 0;

    std::string_view nameOf(const Entry& entry) const { return std::string_view(names).substr(entry.name, entry.length); }
};

// Reads the entries through a duplicate handle, so the level's own handle stays open for openat.
bool listEntries(Level& level) {
    const int listFd = ::dup(level.fd);
    if (listFd < 0) return false;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        level.entries.push_back({static_cast<std::uint32_t>(level.names.size()), static_cast<std::uint16_t>(name.size()), entry->d_type});
        level.names.append(name);
        level.names += '\0';
    }
    ::closedir(dir);
    std::sort(level.entries.begin(), level.entries.end(),
              [&](const Entry& a, const Entry& b) { return level.nameOf(a) < level.nameOf(b); });
    return true;
}

FileState stateOf(const struct stat& st) {
    return {static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<std::int64_t>(st.st_ino)};
}

class Walker {
public:
    Walker(const std::atomic<bool>* stop, WalkStates* states) : stop_(stop), states_(states) {
        // Levels never move, so a level's names stay where visit() reads them while it descends.
        levels_.reserve(kMaxFolderDepth + 1);
    }
    ~Walker() {
        for (Level& level : levels_) ::close(level.fd);
    }
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;

    DownloadListing run(const std::string& folder) {
        // The chosen folder itself may be reached through a link; only links below it are not followed.
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            skip(folder, "Ordner nicht lesbar: " + systemErrorText(errno));
            return std::move(result_);
        }
        enter(fd, folder);
        while (!levels_.empty()) {
            if (stop_ && *stop_) return {};
            Level& level = levels_.back();
            if (level.next == level.entries.size()) {
                ::close(level.fd);
                levels_.pop_back();
                continue;
            }
            visit(level, level.entries[level.next++]);
        }
        return std::move(result_);
    }

private:
    void skip(std::string path, std::string reason) { result_.skipped.push_back({std::move(path), std::move(reason)}); }

    void enter(int fd, std::string path) {
        if (states_) {
            struct stat st {};
            states_->folders.emplace_back(path, ::fstat(fd, &st) == 0 ? stateOf(st) : FileState{});
        }
        Level& level = levels_.emplace_back();
        level.fd = fd;
        if (!listEntries(level)) {
            const int error = errno;
            ::close(fd);
            levels_.pop_back();
            return skip(std::move(path), "Ordner nicht lesbar: " + systemErrorText(error));
        }
        level.folder = result_.addFolder(std::move(path));
    }

    // The path of an entry is put together only where it is reported or becomes a folder.
    std::string pathOf(const Level& level, const Entry& entry) const {
        return joined(result_.folderPath(level.folder), level.nameOf(entry));
    }

    void visit(const Level& level, const Entry& entry) {
        const std::string_view name = level.nameOf(entry);
        const char* cName = level.names.data() + entry.name;
        const bool ddd = hasDddExtension(name);
        struct stat own {};
        // The folder tells the type of most entries: asking the file system once more for each
        // of thousands of downloads would cost more than identifying them.
        if (entry.type == DT_UNKNOWN || entry.type == DT_LNK) {
            if (::fstatat(level.fd, cName, &own, AT_SYMLINK_NOFOLLOW) != 0) {
                if (ddd) skip(pathOf(level, entry), "nicht lesbar: " + systemErrorText(errno));
                return;
            }
        } else {
            own.st_mode = DTTOIF(entry.type);
        }
        if (S_ISDIR(own.st_mode)) return descend(level, entry);
        if (S_ISLNK(own.st_mode)) {
            struct stat target {};
            if (::fstatat(level.fd, cName, &target, 0) != 0) {
                if (ddd) skip(pathOf(level, entry), "Verknüpfung ins Leere");
                return;
            }
            if (S_ISDIR(target.st_mode)) return skip(pathOf(level, entry), "Verknüpfung auf einen Ordner, nicht verfolgt");
            own.st_mode = target.st_mode;
        }
        if (!ddd) return;
        if (!S_ISREG(own.st_mode)) return skip(pathOf(level, entry), notAFileText(own.st_mode));
        const std::string& folder = result_.folderPath(level.folder);
        const std::size_t pathLength = folder.size() + (folder.ends_with('/') ? 0 : 1) + name.size();
        if (pathLength >= PATH_MAX) return skip(pathOf(level, entry), "Pfad zu lang");
        result_.addFile(level.folder, name);
        if (states_) {
            struct stat st {};
            states_->files.push_back(::fstatat(level.fd, cName, &st, 0) == 0 ? stateOf(st) : FileState{});
        }
    }

    void descend(const Level& parent, const Entry& entry) {
        std::string path = pathOf(parent, entry);
        if (static_cast<int>(levels_.size()) >= kMaxFolderDepth) {
            return skip(std::move(path), "zu tief verschachtelt (mehr als " + std::to_string(kMaxFolderDepth) + " Ordnerebenen)");
        }
        const int fd = ::openat(parent.fd, parent.names.data() + entry.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return skip(std::move(path), "Ordner nicht lesbar: " + systemErrorText(errno));
        enter(fd, std::move(path));
    }

    const std::atomic<bool>* stop_;
    WalkStates* states_;
    std::vector<Level> levels_;
    DownloadListing result_;
};

}  // namespace

std::size_t DownloadListing::addFolder(std::string path) {
    folders_.push_back(std::move(path));
    return folders_.size() - 1;
}

void DownloadListing::addFile(std::size_t folder, std::string_view name) {
    files_.push_back({folder, names_.size()});
    names_.append(name);
    names_ += '\0';
}

std::string DownloadListing::path(std::size_t file) const { return joined(folders_[files_[file].folder], name(file)); }

ListedFileOpener::~ListedFileOpener() {
    if (folderFd_ >= 0) ::close(folderFd_);
}

FileReader ListedFileOpener::open(std::size_t file) {
    const std::size_t folder = listing_.folderOf(file);
    if (folderFd_ < 0 || folder != folder_) {
        if (folderFd_ >= 0) ::close(folderFd_);
        folder_ = folder;
        folderFd_ = ::open(listing_.folderPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    }
    // A folder gone since the walk: the file's own path tells how.
    if (folderFd_ < 0) return FileReader(listing_.path(file));
    return FileReader(folderFd_, listing_.name(file));
}

std::string skippedFilesJson(const std::vector<SkippedFile>& skipped) {
    JsonWriter json;
    json.beginObject().field("count", static_cast<std::int64_t>(skipped.size())).key("files").beginArray();
    for (std::size_t i = 0; i < skipped.size() && i < kListedSkippedFiles; ++i) {
        json.beginObject().field("file", visibleText(skipped[i].path)).field("reason", skipped[i].reason).endObject();
    }
    return json.endArray().endObject().take();
}

bool hasDddExtension(std::string_view name) {
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    if (name.size() <= 4) return false;
    std::string_view extension = name.substr(name.size() - 4);
    if (extension[0] != '.') return false;
    for (std::size_t i = 1; i < 4; ++i) {
        const char c = extension[i];
        if (c != 'd' && c != 'D') return false;
    }
    return true;
}

DownloadListing listDownloads(const std::string& folder, const std::atomic<bool>* stop, WalkStates* states) {
    return Walker(stop, states).run(folder);
}

DownloadWalk findDownloads(const std::string& folder, const std::atomic<bool>* stop, WalkStates* states) {
    DownloadListing listing = listDownloads(folder, stop, states);
    DownloadWalk walk;
    walk.files.reserve(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) walk.files.push_back(listing.path(i));
    walk.skipped = std::move(listing.skipped);
    return walk;
}

}  // namespace ddd
