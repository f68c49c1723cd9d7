#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/settings.h"
#include "tests/app/bridge_test_host.h"
#include "tests/support/temp_folder.h"

namespace ddd::app {
namespace {

using test::readFile;

using test::Environment;

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { env_.set("XDG_CONFIG_HOME", folder_.path().c_str()); }
    void writeFile(const std::string& text) {
        std::filesystem::create_directories(folder_.path() / "Orvendel");
        folder_.writeText("Orvendel/settings.txt", text);
    }
    test::TempFolder folder_;
    Environment env_;
};

TEST_F(SettingsStore, ReadsWhatItCanOfAFile) {
    struct Case { const char* name; std::string text; Settings expected; };
    const Case cases[] = {
        {"blanks around zero", "askEachTime= 0 \n", {"", false, true, true}},
        {"a word is true", "askEachTime=no\n", {"", true, true, true}},
        {"empty is true", "includeManifest=\n", {"", true, true, true}},
        {"CR LF", "berichtFolder=/srv/b\r\naskEachTime=0\r\nshowCoverageGaps=0\r\n", {"/srv/b", false, true, false}},
        {"equals sign in the folder", "berichtFolder=/a=b/c \n", {"/a=b/c ", true, true, true}},
        {"key trimmed", "  showCoverageGaps \t=0\n", {"", true, true, false}},
        {"the last wins", "askEachTime=0\naskEachTime=1\n", {"", true, true, true}},
        {"no line end", "includeManifest=0", {"", true, false, true}},
        {"garbage", std::string("\x00\xFF=\x01\nno equals\n=0\nunknown=0\n", 24), {"", true, true, true}},
    };
    for (const Case& c : cases) {
        writeFile(c.text);
        EXPECT_EQ(settingsJson(loadSettings()), settingsJson(c.expected)) << c.name;
    }
}

TEST_F(SettingsStore, RoundTripAndFileBytes) {
    const Settings saved{"/home/ä/Berichte", false, true, false};
    ASSERT_TRUE(saveSettings(saved));
    EXPECT_EQ(readFile(settingsFilePath()),
              "berichtFolder=/home/ä/Berichte\naskEachTime=0\nincludeManifest=1\nshowCoverageGaps=0\n");
    EXPECT_EQ(settingsJson(loadSettings()),
              "{\"berichtFolder\":\"/home/ä/Berichte\",\"askEachTime\":false,\"includeManifest\":true,\"showCoverageGaps\":false}");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(settingsFolder()), {}), 1);
}

TEST_F(SettingsStore, FolderWithLineBreakIsRefused) {
    ASSERT_TRUE(saveSettings({"/old", true, true, true}));
    EXPECT_FALSE(saveSettings({"/x\naskEachTime=0", true, true, true}));
    EXPECT_EQ(loadSettings().berichtFolder, "/old");
    EXPECT_TRUE(loadSettings().askEachTime);
}

TEST_F(SettingsStore, UnreadableFileGivesDefaults) {
    std::filesystem::create_directories(folder_.path() / "Orvendel" / "settings.txt");
    EXPECT_TRUE(loadSettings().askEachTime);
    EXPECT_FALSE(saveSettings({"/x", false, false, false}));
}

TEST(SettingsLocation, Folder) {
    struct Case { const char* name; const char* xdg; const char* home; const char* userProfile; std::string folder; };
    const Case cases[] = {
        {"XDG", "/cfg", "/home/u", nullptr, "/cfg/Orvendel"},
        {"relative XDG ignored", "cfg", "/home/u", nullptr, "/home/u/.config/Orvendel"},
        {"home", nullptr, "/home/u", nullptr, "/home/u/.config/Orvendel"},
        {"user profile", nullptr, nullptr, "/p", "/p/.config/Orvendel"},
        {"empty home", "", "", "/p", "/p/.config/Orvendel"},
        {"nothing", nullptr, nullptr, nullptr, "./.config/Orvendel"},
    };
    for (const Case& c : cases) {
        Environment env;
        env.set("XDG_CONFIG_HOME", c.xdg);
        env.set("HOME", c.home);
        env.set("USERPROFILE", c.userProfile);
        EXPECT_EQ(settingsFolder(), c.folder) << c.name;
        EXPECT_EQ(settingsFilePath(), c.folder + "/settings.txt") << c.name;
    }
}

}  // namespace
}  // namespace ddd::app
