#include "SettingsLocation.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FileText.h"
#include "IniFile.h"

namespace {

namespace fs = std::filesystem;

using testfile::ReadAll;
using testfile::WriteAll;

class SettingsLocationTest : public testing::Test {
  protected:
    SettingsLocationTest() {
        fs::create_directories(program_);
        fs::create_directories(config_);
    }
    ~SettingsLocationTest() override { fs::permissions(program_, fs::perms::owner_all); }
    void LockProgram() const {
        fs::permissions(program_, fs::perms::owner_read | fs::perms::owner_exec);
    }

    QTemporaryDir dir_;
    const std::string root_ = dir_.path().toStdString() + "/";
    const std::string program_ = root_ + "program/";
    const std::string config_ = root_ + "config";
};

TEST_F(SettingsLocationTest, PlaceFollowsWhetherTheProgramFolderIsWritable) {
    const struct {
        const char* name;
        std::string programDir;
        bool locked;
        std::string configHome;
        std::string path;
        std::string defaults;
    } cases[] = {
        {"writable program folder", program_, false, config_, program_ + "Sonvert.ini", ""},
        {"read-only program folder", program_, true, config_, config_ + "/sonvert/Sonvert.ini",
         program_ + "Sonvert.ini"},
        {"trailing separator on the configuration folder", program_, true, config_ + "//",
         config_ + "/sonvert/Sonvert.ini", program_ + "Sonvert.ini"},
        {"no configuration folder known", program_, true, "", program_ + "Sonvert.ini", ""},
        {"program folder that does not exist", root_ + "gone/", false, config_,
         config_ + "/sonvert/Sonvert.ini", root_ + "gone/Sonvert.ini"},
    };
    for (const auto& c : cases) {
        fs::permissions(program_, fs::perms::owner_all);
        if (c.locked) {
            LockProgram();
        }
        const auto location = platform::LocateSettings(c.programDir, c.configHome, "Sonvert.ini");
        EXPECT_EQ(location.Path, c.path) << c.name;
        EXPECT_EQ(location.Defaults, c.defaults) << c.name;
    }
}

TEST_F(SettingsLocationTest, FirstWriteCreatesTheMissingConfigurationFolder) {
    LockProgram();
    const std::string home = root_ + "home/.config";
    const auto location = platform::LocateSettings(program_, home, "Sonvert.ini");
    EXPECT_EQ(location.ReadPath(), location.Path);
    EXPECT_FALSE(fs::exists(home)) << "a read creates nothing";
    ASSERT_TRUE(location.PrepareWrite());
    platform::IniFile ini(location.Path);
    ASSERT_TRUE(ini.WriteString("General", "Language", "English.ini"));
    EXPECT_EQ(ReadAll(home + "/sonvert/Sonvert.ini"), "[General]\r\nLanguage=English.ini\r\n");
    EXPECT_EQ(fs::directory_iterator(program_), fs::directory_iterator());
}

TEST_F(SettingsLocationTest, AdministratorsFileSuppliesTheStartingValues) {
    const std::string admin = program_ + "Sonvert.ini";
    WriteAll(admin, "[General]\r\nAd=0\r\nOutputFormat=3\r\n");
    LockProgram();
    const auto location = platform::LocateSettings(program_, config_, "Sonvert.ini");
    EXPECT_EQ(location.ReadPath(), admin);

    // The first write starts from the administrator's values and leaves their file alone.
    ASSERT_TRUE(location.PrepareWrite());
    platform::IniFile ini(location.Path);
    ASSERT_TRUE(ini.WriteString("General", "OutputFormat", "2"));
    EXPECT_EQ(location.ReadPath(), location.Path);
    EXPECT_EQ(ReadAll(location.Path), "[General]\r\nAd=0\r\nOutputFormat=2\r\n");
    EXPECT_EQ(ReadAll(admin), "[General]\r\nAd=0\r\nOutputFormat=3\r\n");

    // Once the user's file exists, later administrator's changes no longer reach it.
    fs::permissions(program_, fs::perms::owner_all);
    WriteAll(admin, "[General]\r\nAd=1\r\n");
    LockProgram();
    ASSERT_TRUE(location.PrepareWrite());
    EXPECT_EQ(platform::IniFile(location.ReadPath()).ReadString("General", "Ad", ""), "0");
}

TEST_F(SettingsLocationTest, RefusedConfigurationFolderFailsTheWrite) {
    LockProgram();
    WriteAll(root_ + "plain", "");
    const auto location = platform::LocateSettings(program_, root_ + "plain", "Sonvert.ini");
    EXPECT_EQ(location.Path, root_ + "plain/sonvert/Sonvert.ini");
    EXPECT_FALSE(location.PrepareWrite());
}

TEST(UserConfigHomeTest, FollowsTheBaseDirectoryRules) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string oldConfig = savedConfig ? savedConfig : "";
    const std::string oldHome = savedHome ? savedHome : "";
    const struct {
        const char* config;  // nullptr: unset
        const char* home;
        const char* expected;
    } cases[] = {
        {"/xdg/conf", "/home/u", "/xdg/conf"},
        {"relative/conf", "/home/u", "/home/u/.config"},
        {"", "/home/u/", "/home/u/.config"},
        {nullptr, "/home/u", "/home/u/.config"},
        {nullptr, nullptr, ""},
    };
    for (const auto& c : cases) {
        c.config ? setenv("XDG_CONFIG_HOME", c.config, 1) : unsetenv("XDG_CONFIG_HOME");
        c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
        EXPECT_EQ(platform::UserConfigHome(), c.expected)
            << (c.config ? c.config : "(unset)") << " " << (c.home ? c.home : "(unset)");
    }
    platform::SetConfigHomeForTesting("/override");
    EXPECT_EQ(platform::UserConfigHome(), "/override");
    platform::SetConfigHomeForTesting("");
    savedConfig ? setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    savedHome ? setenv("HOME", oldHome.c_str(), 1) : unsetenv("HOME");
}

}  // namespace
