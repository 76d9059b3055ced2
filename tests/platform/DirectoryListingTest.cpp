// SPDX-License-Identifier: GPL-3.0-or-later
#include "DirectoryListing.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(DirectoryListingTest, ListsIniFilesOnly) {
    namespace fs = std::filesystem;
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    for (const char* name :
         {"a.ini", "B.INI", ".hidden.ini", "c.Ini", ".ini", "d.txt", "ini", "x.ini.bak", "xini"}) {
        std::ofstream(root / name) << "[S]\n";
    }
    fs::create_directory(root / "folder.ini");
    fs::create_symlink(root / "a.ini", root / "link.ini");
    fs::create_symlink(root / "gone.ini", root / "broken.ini");

    const std::vector<std::string> expected = {".hidden.ini", ".ini",  "B.INI",
                                               "a.ini",       "c.Ini", "link.ini"};
    EXPECT_EQ(platform::ListIniFiles(root.string()), expected);
    EXPECT_EQ(platform::ListIniFiles(root.string() + "/"), expected);
    EXPECT_TRUE(platform::ListIniFiles((root / "missing").string()).empty());
}

}  // namespace
