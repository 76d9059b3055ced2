// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsLocation.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
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

TEST(LocateSettingsTest, PlaceFollowsTheKindOfCopyAndWhetherItsFolderIsWritable) {
    const std::string program = "/opt/sonvert/";
    const std::string own = "/home/u/.config/sonvert/Sonvert.ini";
    const std::string admin = program + "Sonvert.ini";
    const std::string etc = "/etc/xdg/sonvert/Sonvert.ini";
    // System folders where the second and third hold the file: the first that holds it wins.
    QTemporaryDir system;
    const std::string xdg = system.path().toStdString();
    for (const char* dir : {"/b/sonvert", "/c/sonvert"}) {
        fs::create_directories(xdg + dir);
        WriteAll(xdg + dir + "/Sonvert.ini", "");
    }
    const std::string found = xdg + "/a:" + xdg + "/b:" + xdg + "/c";
    const struct {
        const char* name;
        bool installed;
        bool writable;
        std::string configHome;
        std::string configDirs;
        std::string path;
        std::string defaults;
    } cases[] = {
        {"writable program folder", false, true, "/home/u/.config", "", admin, ""},
        {"read-only program folder", false, false, "/home/u/.config", "", own, admin},
        {"read-only, system folders do not count", false, false, "/home/u/.config", found, own,
         admin},
        {"trailing separator on the configuration folder", false, false, "/home/u/.config//", "",
         own, admin},
        {"no configuration folder known", false, false, "", "", admin, ""},
        {"installed, writable as for root", true, true, "/home/u/.config", "", own, etc},
        {"installed, read-only", true, false, "/home/u/.config", "", own, etc},
        {"installed, no configuration folder known", true, true, "", "", admin, ""},
        {"installed, first system folder when none holds the file", true, false, "/home/u/.config",
         "rel:/x/:/y", own, "/x/sonvert/Sonvert.ini"},
        {"installed, only relative system folders", true, false, "/home/u/.config", "rel", own,
         etc},
        {"installed, first system folder that holds the file", true, false, "/home/u/.config",
         found, own, xdg + "/b/sonvert/Sonvert.ini"},
    };
    for (const auto& c : cases) {
        const auto location = platform::LocateSettings({program, c.installed, c.writable},
                                                       c.configHome, "Sonvert.ini", c.configDirs);
        EXPECT_EQ(location.Path, c.path) << c.name;
        EXPECT_EQ(location.Defaults, c.defaults) << c.name;
    }
}

TEST_F(SettingsLocationTest, ExaminingTheProgramFolder) {
    EXPECT_FALSE(platform::ExamineProgramFolder(program_).Installed);
    EXPECT_TRUE(platform::ExamineProgramFolder(program_).Writable);
    EXPECT_FALSE(platform::ExamineProgramFolder(root_ + "gone/").Writable);
    WriteAll(program_ + platform::InstalledMarker, "");
    LockProgram();
    EXPECT_TRUE(platform::ExamineProgramFolder(program_).Installed);
    EXPECT_FALSE(platform::ExamineProgramFolder(program_).Writable);
}

TEST_F(SettingsLocationTest, FirstWriteCreatesTheMissingConfigurationFolder) {
    LockProgram();
    const std::string home = root_ + "home/.config";
    const auto location = platform::LocateSettings({program_, false, false}, home, "Sonvert.ini");
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
    const auto location =
        platform::LocateSettings({program_, false, false}, config_, "Sonvert.ini");
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

TEST_F(SettingsLocationTest, UnreadableAdministratorsFileCountsAsAbsent) {
    // Root's file under a strict umask, met by another user ("nobody" when root runs the test).
    const std::string admin = program_ + "Sonvert.ini";
    WriteAll(admin, "[General]\r\nAd=0\r\n");
    const bool root = geteuid() == 0;
    constexpr uid_t nobody = 65534;
    fs::permissions(admin, root ? fs::perms::owner_read | fs::perms::owner_write : fs::perms::none);
    if (root) {
        fs::permissions(root_, fs::perms::owner_all | fs::perms::others_exec);
        ASSERT_EQ(chown(config_.c_str(), nobody, nobody), 0);
    }
    const auto location =
        platform::LocateSettings({program_, false, false}, config_, "Sonvert.ini");
    const auto firstStart = [&] {
        if (location.ReadPath() != location.Path) {
            return 1;
        }
        platform::IniFile ini(location.Path);
        return location.PrepareWrite() && ini.WriteString("General", "Ad", "1") ? 0 : 2;
    };
    EXPECT_EQ(testchild::RunAs(nobody, nobody, nobody, firstStart), 0)
        << "1: reads went to the unreadable file, 2: the first write failed";
    EXPECT_EQ(ReadAll(location.Path), "[General]\r\nAd=1\r\n");
}

TEST_F(SettingsLocationTest, RefusedConfigurationFolderFailsTheWrite) {
    LockProgram();
    WriteAll(root_ + "plain", "");
    const auto location =
        platform::LocateSettings({program_, false, false}, root_ + "plain", "Sonvert.ini");
    EXPECT_EQ(location.Path, root_ + "plain/sonvert/Sonvert.ini");
    EXPECT_FALSE(location.PrepareWrite());
}

TEST(UserConfigHomeTest, FollowsTheBaseDirectoryRules) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string oldConfig = savedConfig ? savedConfig : "";
    const std::string oldHome = savedHome ? savedHome : "";
    // Without a usable $HOME the account's own entry names the home folder.
    const passwd* account = getpwuid(geteuid());
    ASSERT_NE(account, nullptr);
    const std::string accountConfig = std::string(account->pw_dir) + "/.config";
    const struct {
        const char* config;  // nullptr: unset
        const char* home;
        std::string expected;
    } cases[] = {
        {"/xdg/conf", "/home/u", "/xdg/conf"}, {"relative/conf", "/home/u", "/home/u/.config"},
        {"", "/home/u/", "/home/u/.config"},   {nullptr, "/home/u", "/home/u/.config"},
        {nullptr, nullptr, accountConfig},     {nullptr, "home/u", accountConfig},
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
