// A private folder for one test, removed with everything in it when the test ends, and the small
// file helpers the suites share.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>
#include "tools/generator/card_generator.h"

namespace ddd::test {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ddd_test_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    // A test may have taken its own permissions away to provoke failures; they come back first.
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& relative) const { return (path_ / relative).string(); }

    // Writes below the folder, creating the folders on the way.
    std::filesystem::path write(const std::string& relative, const std::vector<std::uint8_t>& bytes) const {
        return writeText(relative, std::string(bytes.begin(), bytes.end()));
    }
    std::filesystem::path writeText(const std::string& relative, const std::string& text) const {
        const std::filesystem::path target = path_ / relative;
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << text;
        return target;
    }
    std::string writeCard(const std::string& relative, const gen::CardDescription& card) const {
        return write(relative, gen::writeCardDownload(card)).string();
    }
    // Every download of a generated fleet at its place in the fleet's tree, below `under`.
    template <class Fleet>
    void writeFleet(const Fleet& fleet, const std::string& under = "") const {
        for (const auto& f : fleetFiles(fleet)) write(under + f.relativePath, f.bytes);
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
        return names;
    }

private:
    std::filesystem::path path_;
};

// Lowers the file size limit of the process for its lifetime; writes past it fail with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit lowered{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_), ::signal(SIGXFSZ, previousHandler_); }

private:
    rlimit saved_{};
    sighandler_t previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace ddd::test
