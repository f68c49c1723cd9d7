#include "card/card_temp_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

namespace ddd {
namespace {

namespace fs = std::filesystem;

constexpr int kFolderAttempts = 8;
constexpr const char* kNotSaved = "Kartendaten konnten nicht gespeichert werden.";

// A new folder with an unguessable name that nobody else can enter; empty when none could be
// made. An existing folder of the same name counts as a failed try, never as ours.
fs::path createPrivateFolder(const fs::path& temporary) {
    std::ifstream random("/dev/urandom", std::ios::binary);
    for (int attempt = 0; attempt < kFolderAttempts && random; ++attempt) {
        std::uint32_t r[2] = {0, 0};
        if (!random.read(reinterpret_cast<char*>(r), sizeof r)) break;
        char name[32];
        std::snprintf(name, sizeof name, "tacho-card-%016llx",
                      static_cast<unsigned long long>(std::uint64_t{r[0]} << 32 | r[1]));
        const fs::path folder = temporary / name;
        if (::mkdir(folder.c_str(), 0700) != 0) continue;
        std::error_code error;
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
        if (!error) return folder;
        fs::remove(folder, error);
    }
    return {};
}

} // namespace

SavedCardDownload saveCardDownload(std::span<const std::uint8_t> download) {
    SavedCardDownload saved;
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (!error) saved.folder = createPrivateFolder(temporary);
    if (saved.folder.empty()) {
        saved.error = kNotSaved;
        return saved;
    }
    saved.file = saved.folder / "card.ddd";
    std::ofstream out(saved.file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(download.data()), static_cast<std::streamsize>(download.size()));
    out.close();
    // A short file must not stay behind looking like a complete download.
    if (!out) {
        fs::remove_all(saved.folder, error);
        saved.folder.clear();
        saved.file.clear();
        saved.error = kNotSaved;
    }
    return saved;
}

} // namespace ddd
