#include <gtest/gtest.h>

#include <ostream>

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

TEST_F(SettingsStore, FreshInstallationGivesDefaults) {
    EXPECT_EQ(settingsJson(loadSettings()),
              "{\"berichtFolder\":\"\",\"askEachTime\":true,\"includeManifest\":true,\"showCoverageGaps\":true}");
}

struct FileCase {
    const char* name;
    friend void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }
    std::string text;
    Settings expected;
};

class SettingsFile : public SettingsStore, public testing::WithParamInterface<FileCase> {};

TEST_P(SettingsFile, Reads) {
    writeFile(GetParam().text);
    const Settings s = loadSettings();
    const Settings& e = GetParam().expected;
    EXPECT_EQ(s.berichtFolder, e.berichtFolder);
    EXPECT_EQ(s.askEachTime, e.askEachTime);
    EXPECT_EQ(s.includeManifest, e.includeManifest);
    EXPECT_EQ(s.showCoverageGaps, e.showCoverageGaps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFile,
    testing::Values(FileCase{"BlanksAroundZero", "askEachTime= 0 \n", {"", false, true, true}},
                    FileCase{"WordIsTrue", "askEachTime=no\n", {"", true, true, true}},
                    FileCase{"EmptyIsTrue", "includeManifest=\n", {"", true, true, true}},
                    FileCase{"CrLf", "berichtFolder=/srv/b\r\naskEachTime=0\r\nshowCoverageGaps=0\r\n", {"/srv/b", false, true, false}},
                    FileCase{"EqualsInFolder", "berichtFolder=/a=b/c \n", {"/a=b/c ", true, true, true}},
                    FileCase{"KeyTrimmed", "  showCoverageGaps \t=0\n", {"", true, true, false}},
                    FileCase{"LastWins", "askEachTime=0\naskEachTime=1\n", {"", true, true, true}},
                    FileCase{"NoLineEnd", "includeManifest=0", {"", true, false, true}},
                    FileCase{"Garbage", std::string("\x00\xFF=\x01\nno equals\n=0\nunknown=0\n", 24), {"", true, true, true}}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST_F(SettingsStore, JsonEscapesTheFolder) {
    EXPECT_EQ(settingsJson({"C:\\B \"x\"", true, false, true}),
              "{\"berichtFolder\":\"C:\\\\B \\\"x\\\"\",\"askEachTime\":true,\"includeManifest\":false,\"showCoverageGaps\":true}");
}

struct LocationCase {
    const char* name;
    friend void PrintTo(const LocationCase& c, std::ostream* os) { *os << c.name; }
    const char* xdg;
    const char* home;
    const char* userProfile;
    std::string folder;
};

class SettingsLocation : public testing::TestWithParam<LocationCase> {};

TEST_P(SettingsLocation, Folder) {
    Environment env;
    env.set("XDG_CONFIG_HOME", GetParam().xdg);
    env.set("HOME", GetParam().home);
    env.set("USERPROFILE", GetParam().userProfile);
    EXPECT_EQ(settingsFolder(), GetParam().folder);
    EXPECT_EQ(settingsFilePath(), GetParam().folder + "/settings.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsLocation,
    testing::Values(LocationCase{"Xdg", "/cfg", "/home/u", nullptr, "/cfg/Orvendel"},
                    LocationCase{"RelativeXdgIgnored", "cfg", "/home/u", nullptr, "/home/u/.config/Orvendel"},
                    LocationCase{"Home", nullptr, "/home/u", nullptr, "/home/u/.config/Orvendel"},
                    LocationCase{"UserProfile", nullptr, nullptr, "/p", "/p/.config/Orvendel"},
                    LocationCase{"EmptyHome", "", "", "/p", "/p/.config/Orvendel"},
                    LocationCase{"Nothing", nullptr, nullptr, nullptr, "./.config/Orvendel"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ddd::app
