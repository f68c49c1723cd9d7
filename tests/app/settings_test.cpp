#include <gtest/gtest.h>

#include <filesystem>

#include "app/settings.h"
#include "tests/app/bridge_test_host.h"

namespace ddd::app {
namespace {

// What a settings file holds, read as far as it can be; an unreadable file gives the defaults and
// cannot be written over.
TEST(SettingsStore, ReadsWhatItCanOfAFile) {
    test::TempFolder folder;
    test::Environment env;
    env.set("XDG_CONFIG_HOME", folder.path().c_str());
    const std::pair<std::string, Settings> cases[] = {
        {"askEachTime= 0 \n", {"", false, true, true}},  // blanks around
        {"askEachTime=no\n", {"", true, true, true}},    // a word is true
        {"includeManifest=\n", {"", true, true, true}},  // and so is nothing
        {"berichtFolder=/srv/b\r\naskEachTime=0\r\nshowCoverageGaps=0\r\n", {"/srv/b", false, true, false}},
        {"berichtFolder=/a=b/c \n", {"/a=b/c ", true, true, true}},
        {"  showCoverageGaps \t=0\n", {"", true, true, false}},
        {"askEachTime=0\naskEachTime=1\n", {"", true, true, true}},  // the last wins
        {"includeManifest=0", {"", true, false, true}},
        {std::string("\x00\xFF=\x01\nno equals\n=0\nunknown=0\n", 24), {"", true, true, true}},
    };
    for (const auto& [text, expected] : cases) {
        folder.writeText("Orvendel/settings.txt", text);
        EXPECT_EQ(settingsJson(loadSettings()), settingsJson(expected)) << text;
    }
    std::filesystem::remove(folder.file("Orvendel/settings.txt"));
    std::filesystem::create_directories(folder.file("Orvendel/settings.txt"));
    EXPECT_TRUE(loadSettings().askEachTime);
    EXPECT_FALSE(saveSettings({"/x", false, false, false}));
}

// Saved settings read back the same from a file of their own and nothing beside it; a folder
// whose name would break a line is refused and the old settings stay.
TEST(SettingsStore, RoundTripAndFileBytes) {
    test::TempFolder folder;
    test::Environment env;
    env.set("XDG_CONFIG_HOME", folder.path().c_str());
    ASSERT_TRUE(saveSettings({"/home/ä/Berichte", false, true, false}));
    EXPECT_EQ(test::readFile(settingsFilePath()), "berichtFolder=/home/ä/Berichte\naskEachTime=0\nincludeManifest=1\nshowCoverageGaps=0\n");
    EXPECT_EQ(settingsJson(loadSettings()), R"({"berichtFolder":"/home/ä/Berichte","askEachTime":false,"includeManifest":true,"showCoverageGaps":false})");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(settingsFolder()), {}), 1);
    EXPECT_FALSE(saveSettings({"/x\naskEachTime=0", true, true, true}));
    EXPECT_EQ(loadSettings().berichtFolder, "/home/ä/Berichte");
    EXPECT_FALSE(loadSettings().askEachTime);
}

TEST(SettingsLocation, Folder) {
    const std::tuple<const char*, const char*, const char*, std::string> cases[] = {  // XDG_CONFIG_HOME, HOME, USERPROFILE
        {"/cfg", "/home/u", nullptr, "/cfg/Orvendel"},
        {"cfg", "/home/u", nullptr, "/home/u/.config/Orvendel"},  // a relative one is ignored
        {nullptr, "/home/u", nullptr, "/home/u/.config/Orvendel"},
        {nullptr, nullptr, "/p", "/p/.config/Orvendel"},
        {"", "", "/p", "/p/.config/Orvendel"},
        {nullptr, nullptr, nullptr, "./.config/Orvendel"},
    };
    for (const auto& [xdg, home, userProfile, expected] : cases) {
        test::Environment env;
        env.set("XDG_CONFIG_HOME", xdg);
        env.set("HOME", home);
        env.set("USERPROFILE", userProfile);
        EXPECT_EQ(settingsFolder(), expected);
        EXPECT_EQ(settingsFilePath(), expected + "/settings.txt");
    }
}

}  // namespace
}  // namespace ddd::app
