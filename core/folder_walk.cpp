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

struct Entry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

// One open folder of the walk: its handle (children are opened relative to it, so the walk's
// cost does not grow with the depth) and its sorted entries.
struct Level {
    int fd = -1;
    std::string path;
    std::vector<Entry> entries;
    std::size_t next = 0;
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
        level.entries.push_back({std::string(name), entry->d_type});
    }
    ::closedir(dir);
    std::sort(level.entries.begin(), level.entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return true;
}

std::string joined(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

FileState stateOf(const struct stat& st) {
    return {static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<std::int64_t>(st.st_ino)};
}

class Walker {
public:
    Walker(const std::atomic<bool>* stop, WalkStates* states) : stop_(stop), states_(states) {}
    ~Walker() {
        for (Level& level : levels_) ::close(level.fd);
    }
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;

    DownloadWalk run(const std::string& folder) {
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
            const Entry entry = level.entries[level.next++];
            visit(level.fd, joined(level.path, entry.name), entry);
        }
        return std::move(result_);
    }

private:
    void skip(std::string path, std::string reason) { result_.skipped.push_back({std::move(path), std::move(reason)}); }

    void enter(int fd, const std::string& path) {
        if (states_) {
            struct stat st {};
            states_->folders.emplace_back(path, ::fstat(fd, &st) == 0 ? stateOf(st) : FileState{});
        }
        Level level;
        level.fd = fd;
        level.path = path;
        if (!listEntries(level)) {
            const int error = errno;
            ::close(fd);
            skip(path, "Ordner nicht lesbar: " + systemErrorText(error));
            return;
        }
        levels_.push_back(std::move(level));
    }

    void visit(int parentFd, const std::string& path, const Entry& entry) {
        const bool ddd = hasDddExtension(entry.name);
        struct stat own {};
        // The folder tells the type of most entries: asking the file system once more for each
        // of thousands of downloads would cost more than identifying them.
        if (entry.type == DT_UNKNOWN || entry.type == DT_LNK) {
            if (::fstatat(parentFd, entry.name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) {
                if (ddd) skip(path, "nicht lesbar: " + systemErrorText(errno));
                return;
            }
        } else {
            own.st_mode = DTTOIF(entry.type);
        }
        if (S_ISDIR(own.st_mode)) return descend(parentFd, path, entry.name);
        if (S_ISLNK(own.st_mode)) {
            struct stat target {};
            if (::fstatat(parentFd, entry.name.c_str(), &target, 0) != 0) {
                if (ddd) skip(path, "Verknüpfung ins Leere");
                return;
            }
            if (S_ISDIR(target.st_mode)) return skip(path, "Verknüpfung auf einen Ordner, nicht verfolgt");
            own.st_mode = target.st_mode;
        }
        if (!ddd) return;
        if (!S_ISREG(own.st_mode)) return skip(path, notAFileText(own.st_mode));
        if (path.size() >= PATH_MAX) return skip(path, "Pfad zu lang");
        result_.files.push_back(path);
        if (states_) {
            struct stat st {};
            states_->files.push_back(::fstatat(parentFd, entry.name.c_str(), &st, 0) == 0 ? stateOf(st) : FileState{});
        }
    }

    void descend(int parentFd, const std::string& path, const std::string& name) {
        if (static_cast<int>(levels_.size()) >= kMaxFolderDepth) {
            return skip(path, "zu tief verschachtelt (mehr als " + std::to_string(kMaxFolderDepth) + " Ordnerebenen)");
        }
        const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return skip(path, "Ordner nicht lesbar: " + systemErrorText(errno));
        enter(fd, path);
    }

    const std::atomic<bool>* stop_;
    WalkStates* states_;
    std::vector<Level> levels_;
    DownloadWalk result_;
};

}  // namespace

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

DownloadWalk findDownloads(const std::string& folder, const std::atomic<bool>* stop, WalkStates* states) {
    return Walker(stop, states).run(folder);
}

}  // namespace ddd
