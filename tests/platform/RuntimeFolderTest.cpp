// SPDX-License-Identifier: GPL-3.0-or-later
// The folder for the program's own run-time files: never one another user can reach or hold.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "GuardProbe.h"
#include "InstanceGuard.h"
#include "TempFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t Nobody = 65534;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class RuntimeFolderTest : public testing::Test {
  protected:
    void SetUp() override {
        base_ = fs::temp_directory_path() / ("sonvert-runtime-test-" + std::to_string(getpid()));
        fs::remove_all(base_);
        fs::create_directories(base_ / "temp");
        fs::create_directories(base_ / "run");
        fs::permissions(base_ / "run", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(base_); }

    std::string UserFolder() const {
        return (base_ / "temp" / ("sonvert-" + std::to_string(geteuid()))).string();
    }

    fs::path base_;
};

enum class Chosen { RuntimeDir, UserFolder, None };

struct FolderCase {
    const char* name;
    // Prepares the folders below `base`; returns the $XDG_RUNTIME_DIR to pass.
    std::function<std::string(const fs::path& base, const std::string& userFolder)> prepare;
    Chosen chosen;
    bool needsRoot;  // to make a folder that belongs to someone else
};

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.name;
}

class PrivateFolderTest : public RuntimeFolderTest,
                          public testing::WithParamInterface<FolderCase> {};

TEST_P(PrivateFolderTest, OnlyAFolderOfTheUsersOwnIsUsed) {
    const FolderCase& c = GetParam();
    if (c.needsRoot && geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a folder to another user";
    }
    const std::string runtime = c.prepare(base_, UserFolder());
    const std::string chosen = platform::PrivateFolder(runtime, (base_ / "temp").string());
    switch (c.chosen) {
        case Chosen::RuntimeDir:
            EXPECT_EQ(chosen, runtime);
            break;
        case Chosen::UserFolder: {
            EXPECT_EQ(chosen, UserFolder());
            struct stat info {};
            ASSERT_EQ(lstat(chosen.c_str(), &info), 0);
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            EXPECT_EQ(info.st_uid, geteuid());
            EXPECT_EQ(info.st_mode & 0777, 0700u);
            break;
        }
        case Chosen::None:
            EXPECT_EQ(chosen, "");
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PrivateFolderTest,
    testing::Values(
        FolderCase{"PrivateRuntimeDir",
                   [](const fs::path& b, const std::string&) { return (b / "run").string(); },
                   Chosen::RuntimeDir, false},
        FolderCase{"NoRuntimeDirMakesTheUserFolder",
                   [](const fs::path&, const std::string&) { return std::string(); },
                   Chosen::UserFolder, false},
        FolderCase{"RuntimeDirOpenToOthers",
                   [](const fs::path& b, const std::string&) {
                       fs::permissions(b / "run", fs::perms::all);
                       return (b / "run").string();
                   },
                   Chosen::UserFolder, false},
        FolderCase{"RuntimeDirRelative",
                   [](const fs::path&, const std::string&) { return std::string("run"); },
                   Chosen::UserFolder, false},
        FolderCase{"RuntimeDirIsALink",
                   [](const fs::path& b, const std::string&) {
                       fs::create_directory_symlink(b / "run", b / "link");
                       return (b / "link").string();
                   },
                   Chosen::UserFolder, false},
        FolderCase{"OwnUserFolderLeftOpenIsShut",
                   [](const fs::path&, const std::string& user) {
                       fs::create_directory(user);
                       fs::permissions(user, fs::perms::all);
                       return std::string();
                   },
                   Chosen::UserFolder, false},
        FolderCase{"UserFolderPlantedAsALink",
                   [](const fs::path& b, const std::string& user) {
                       fs::create_directory_symlink(b / "run", user);
                       return std::string();
                   },
                   Chosen::None, false},
        FolderCase{"UserFolderOfAnotherUser",
                   [](const fs::path&, const std::string& user) {
                       fs::create_directory(user);
                       fs::permissions(user, fs::perms::owner_all);
                       EXPECT_EQ(chown(user.c_str(), Nobody, Nobody), 0);
                       return std::string();
                   },
                   Chosen::None, true},
        FolderCase{"RuntimeDirOfAnotherUser",
                   [](const fs::path& b, const std::string&) {
                       EXPECT_EQ(chown((b / "run").c_str(), Nobody, Nobody), 0);
                       return (b / "run").string();
                   },
                   Chosen::UserFolder, true},
        FolderCase{"NoTempFolder",
                   [](const fs::path& b, const std::string&) {
                       fs::remove_all(b / "temp");
                       return std::string();
                   },
                   Chosen::None, false}),
    [](const testing::TestParamInfo<FolderCase>& p) { return std::string(p.param.name); });

TEST_F(RuntimeFolderTest, ANewFileReplacesAPlantedLinkAndLeavesItsTargetAlone) {
    const fs::path victim = base_ / "victim";
    std::ofstream(victim) << "keep me";
    const fs::path file = base_ / "run" / "_SonvertAd.swf";
    fs::create_symlink(victim, file);

    EXPECT_EQ(platform::WriteNewFile(file.string(), "movie", 5), "");
    EXPECT_EQ(ReadAll(victim), "keep me");
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(ReadAll(file), "movie");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    // A file left by an earlier run is replaced as well.
    EXPECT_EQ(platform::WriteNewFile(file.string(), "new", 3), "");
    EXPECT_EQ(ReadAll(file), "new");
    // A folder that cannot take the file says why.
    EXPECT_NE(platform::WriteNewFile((base_ / "none" / "x").string(), "x", 1), "");
}

TEST_F(RuntimeFolderTest, APlantedFolderNeitherHoldsNorKeepsOutTheProgram) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string previous = saved != nullptr ? saved : "";
    unsetenv("XDG_RUNTIME_DIR");
    platform::SetTempFolderForTesting((base_ / "temp").string());
    // Someone made the user's folder a link to a place of theirs, and holds a lock there.
    fs::create_directory_symlink(base_ / "run", UserFolder());
    const std::string name = "SonvertPlantedGuard";
    const std::string planted = (base_ / "run" / (name + ".lock")).string();
    const int held = open(planted.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

    EXPECT_TRUE(platform::AcquireInstanceGuard(name));
    EXPECT_TRUE(AnotherProcessAcquires(name)) << "no guard, but the program starts";
    EXPECT_EQ(std::distance(fs::directory_iterator(base_ / "run"), fs::directory_iterator()), 1);
    close(held);

    platform::SetTempFolderForTesting("");
    if (!previous.empty()) {
        setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
    }
}

}  // namespace
