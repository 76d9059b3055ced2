// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "DoubleLibrary.h"
#include "FileVersion.h"
#include "WaveWriter.h"

using namespace testing_support;

TEST(FileVersion, ReadFromTheFileWithoutLoadingIt) {
    struct Case {
        std::string path;
        bool present;
        uint32_t ms;
        uint32_t ls;
    };
    TempDir dir;
    WriteFile(dir.File("garbage.so"),
              "\x7f"
              "ELF, and nothing sensible after it");
    WriteFile(dir.File("empty.so"), "");
    const Case cases[] = {
        {DoubleLibrary::Folder("complete") + "wmaudsdk.so", true, 4u << 16, 3688},
        {DoubleLibrary::Folder("version10") + "wmaudsdk.so", true, 10u << 16, 0},
        {DoubleLibrary::Folder("no_version") + "wmaudsdk.so", false, 0, 0},
        {DoubleLibrary::Folder("complete") + "lame_enc.so", false, 0, 0},
        {dir.File("garbage.so"), false, 0, 0},
        {dir.File("empty.so"), false, 0, 0},
        {dir.File("absent.so"), false, 0, 0},
        {dir.Path(), false, 0, 0},
    };
    for (const Case& c : cases) {
        const auto version = platform::ReadProductVersion(c.path);
        ASSERT_EQ(version.has_value(), c.present) << c.path;
        if (version) {
            EXPECT_EQ(version->MostSignificant, c.ms) << c.path;
            EXPECT_EQ(version->LeastSignificant, c.ls) << c.path;
        }
    }
}
