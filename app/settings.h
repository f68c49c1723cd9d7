// The user's four report preferences, kept in a small key=value file in the per-user
// configuration folder. There is no cache: every call reads or writes the file.
#pragma once

#include <string>

namespace ddd::app {

struct Settings {
    std::string berichtFolder;      // default folder for saved reports; empty means not set
    bool askEachTime = true;        // show the save dialog even when a folder is set
    bool includeManifest = true;    // write the provenance manifest beside a saved report
    bool showCoverageGaps = true;   // show the periods that cannot be assessed
};

// HOME, else USERPROFILE, else "." (an empty variable counts as unset).
std::string homeDirectory();

// $XDG_CONFIG_HOME/Orvendel when that is an absolute path, else homeDirectory()/.config/Orvendel.
std::string settingsFolder();
std::string settingsFilePath();

// Never fails: a missing, unreadable or damaged file gives the defaults for what it lacks.
Settings loadSettings();

// Replaces the file atomically; true when the complete file is in place. A folder holding a
// line break cannot be stored and gives false with the file untouched.
bool saveSettings(const Settings& settings, int* systemError = nullptr);

// {"berichtFolder":...,"askEachTime":...,"includeManifest":...,"showCoverageGaps":...}
std::string settingsJson(const Settings& settings);

}  // namespace ddd::app
