#include "app/settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/atomic_file.h"
#include "core/json_writer.h"

namespace ddd::app {
namespace {

// A settings file is a few hundred bytes; anything far larger is not ours and is not read.
constexpr std::uintmax_t kMaxSettingsBytes = 64 * 1024;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return text.substr(begin, end - begin);
}

const char* flag(bool value) { return value ? "1" : "0"; }

void applyLine(Settings& settings, const std::string& line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return;
    const std::string key = trimmed(line.substr(0, equals));
    std::string value = line.substr(equals + 1);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    if (key == "berichtFolder") settings.berichtFolder = value;
    else if (key == "askEachTime") settings.askEachTime = trimmed(value) != "0";
    else if (key == "includeManifest") settings.includeManifest = trimmed(value) != "0";
    else if (key == "showCoverageGaps") settings.showCoverageGaps = trimmed(value) != "0";
}

}  // namespace

std::string homeDirectory() {
    for (const char* name : {"HOME", "USERPROFILE"}) {
        std::string value = environment(name);
        if (!value.empty()) return value;
    }
    return ".";
}

std::string settingsFolder() {
    const std::string config = environment("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/') return config + "/Orvendel";
    return homeDirectory() + "/.config/Orvendel";
}

std::string settingsFilePath() { return settingsFolder() + "/settings.txt"; }

Settings loadSettings() {
    Settings settings;
    const std::string path = settingsFilePath();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) > kMaxSettingsBytes ||
        error) {
        return settings;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) applyLine(settings, line);
    return settings;
}

bool saveSettings(const Settings& settings, int* systemError) {
    // A line break in the folder would end its line early and could set another key on the
    // next load; such a folder cannot be stored in this format and is refused.
    if (settings.berichtFolder.find_first_of("\r\n") != std::string::npos) return false;
    std::error_code ignored;
    std::filesystem::create_directories(settingsFolder(), ignored);
    const std::string text = "berichtFolder=" + settings.berichtFolder + "\naskEachTime=" + flag(settings.askEachTime) +
                             "\nincludeManifest=" + flag(settings.includeManifest) +
                             "\nshowCoverageGaps=" + flag(settings.showCoverageGaps) + "\n";
    return writeFileAtomically(settingsFilePath(), text, systemError);
}

std::string settingsJson(const Settings& settings) {
    std::string json = "{\"berichtFolder\":";
    appendJsonString(json, settings.berichtFolder);
    json += std::string(",\"askEachTime\":") + (settings.askEachTime ? "true" : "false");
    json += std::string(",\"includeManifest\":") + (settings.includeManifest ? "true" : "false");
    json += std::string(",\"showCoverageGaps\":") + (settings.showCoverageGaps ? "true" : "false");
    return json + "}";
}

}  // namespace ddd::app
