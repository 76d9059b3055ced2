// SPDX-License-Identifier: GPL-3.0-or-later
#include "Filelisttext.h"

#include <gtest/gtest.h>

namespace {

TEST(FilelisttextTest, PathSplitsIntoNameAndFolderThatJoinBack) {
    struct Case {
        const char* path;
        char separator;
        const char* name;
        const char* folder;
    };
    const Case cases[] = {
        {"/home/u/a.wav", '/', "a.wav", "/home/u/"},
        {"/a.wav", '/', "a.wav", "/"},
        {"a.wav", '/', "a.wav", ""},
        {"/home/u/dir/", '/', "", "/home/u/dir/"},
        {"C:\\Music\\x.y.wav", '\\', "x.y.wav", "C:\\Music\\"},
        {"C:\\Music/x.wav", '\\', "Music/x.wav", "C:\\"},
    };
    for (const Case& c : cases) {
        const PathParts parts = SplitPath(c.path, c.separator);
        EXPECT_EQ(parts.Name, c.name) << c.path;
        EXPECT_EQ(parts.Folder, c.folder) << c.path;
        EXPECT_EQ(parts.Folder + parts.Name, c.path);
    }
}

TEST(FilelisttextTest, ExtensionKeepsItsDotAndOnlyTheLastOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.wav", ".wav"}, {"a.b.WAV", ".WAV"}, {"noext", ""}, {".hidden", ".hidden"}, {"a.", "."},
    };
    for (const auto& [name, extension] : cases) {
        EXPECT_EQ(FileExtension(name), extension) << name;
    }
}

}  // namespace
