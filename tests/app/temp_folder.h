// A temporary folder for one test of the shell, removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ddd::test {

class ShellTempFolder {
public:
    ShellTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "shell_test_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ShellTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ShellTempFolder(const ShellTempFolder&) = delete;
    ShellTempFolder& operator=(const ShellTempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    std::filesystem::path write(const std::string& relative, const std::vector<std::uint8_t>& bytes) const {
        const std::filesystem::path target = path_ / relative;
        std::filesystem::create_directories(target.parent_path());
        std::ofstream out(target, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return target;
    }

private:
    std::filesystem::path path_;
};

}  // namespace ddd::test
