#include <gtest/gtest.h>

#include <filesystem>

#include "app/settings.h"
#include "tests/app/bridge_test_host.h"

namespace ddd::app {
namespace {

// What a settings file holds, read as far as it can be; an unreadable file gives the defaults and
// cannot be written over.
TEST(SettingsStore, ReadsWhatItCanAndWritesWholeLines) {
    test::TempFolder folder;
    test::Environment env;
    env.set("XDG_CONFIG_HOME", folder.path().c_str());
    const std::pair<std::string, Settings> cases[] = {
        {"askEachTime= 0 \n", {"", false, true, true}},  // blanks around
        {"askEachTime=no\n", {"", true, true, true}},    // a word is true
        {"berichtFolder=/srv/b\r\naskEachTime=0\r\nshowCoverageGaps=0\r\n", {"/srv/b", false, true, false}},
        {"includeManifest=0", {"", true, false, true}},
        {std::string("\x00\xFF=\x01\nno equals\n=0\nunknown=0\n", 24), {"", true, true, true}},
    };
    for (const auto& [text, expected] : cases) {
        folder.writeText("Orvendel/settings.txt", text);
        EXPECT_EQ(settingsJson(loadSettings()), settingsJson(expected)) << text;
    }

    // Saved settings read back the same from a file of their own and nothing beside it; a folder
    // whose name would break a line is refused and the old settings stay.
    ASSERT_TRUE(saveSettings({"/home/ä/Berichte", false, true, false}));
    EXPECT_EQ(test::readFile(settingsFilePath()), "berichtFolder=/home/ä/Berichte\naskEachTime=0\nincludeManifest=1\nshowCoverageGaps=0\n");
    EXPECT_EQ(settingsJson(loadSettings()), R"({"berichtFolder":"/home/ä/Berichte","askEachTime":false,"includeManifest":true,"showCoverageGaps":false})");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(settingsFolder()), {}), 1);
    EXPECT_FALSE(saveSettings({"/x\naskEachTime=0", true, true, true}));
    EXPECT_EQ(loadSettings().berichtFolder, "/home/ä/Berichte");
    EXPECT_FALSE(loadSettings().askEachTime);
    std::filesystem::remove(folder.file("Orvendel/settings.txt"));
    std::filesystem::create_directories(folder.file("Orvendel/settings.txt"));
    EXPECT_TRUE(loadSettings().askEachTime);
    EXPECT_FALSE(saveSettings({"/x", false, false, false}));
}

}  // namespace
}  // namespace ddd::app
