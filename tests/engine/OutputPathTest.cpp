// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "OutputPath.h"

namespace {

struct PathCase {
    const char* source;
    bool customDir;
    const char* outputDir;
    const char* extension;
    PathStyle style;
    const char* expected;
};

const PathCase kCases[] = {
    // Windows paths, as users of that system write them.
    {R"(C:\a\b.wav)", false, "", ".mp3", kWindowsPaths, R"(C:\a\b.mp3)"},
    {R"(C:\a\b.wav)", true, R"(D:\out)", ".mp3", kWindowsPaths, R"(D:\out\b.mp3)"},
    {R"(C:\a\b.wav)", true, R"(D:\out\)", ".mp3", kWindowsPaths, R"(D:\out\b.mp3)"},
    {R"(C:\a\song)", false, "", ".ogg", kWindowsPaths, R"(C:\a\song.ogg)"},
    {R"(C:\a.b\song)", false, "", ".ogg", kWindowsPaths, R"(C:\a.b\song.ogg)"},
    {R"(C:\a.b\song)", true, R"(E:\)", ".wma", kWindowsPaths, R"(E:\song.wma)"},
    {R"(C:song.wav)", true, "F:", ".mp3", kWindowsPaths, R"(F:\song.mp3)"},
    {R"(C:\a\b.wav)", true, "", ".mp3", kWindowsPaths, R"(\b.mp3)"},
    {R"(C:\a\x.y.wav)", false, "", ".mp3", kWindowsPaths, R"(C:\a\x.y.mp3)"},
    // The same rules on this system.
    {"/a/b.wav", false, "", ".mp3", kPosixPaths, "/a/b.mp3"},
    {"/a/b.wav", true, "/out", ".mp3", kPosixPaths, "/out/b.mp3"},
    {"/a/b.wav", true, "/out/", ".mp3", kPosixPaths, "/out/b.mp3"},
    {"/a/song", false, "", ".ogg", kPosixPaths, "/a/song.ogg"},
    {"/a.b/song", false, "", ".ogg", kPosixPaths, "/a.b/song.ogg"},
    {"/a/.hidden", false, "", ".wma", kPosixPaths, "/a/.wma"},
    {"/a/b.wav", true, "", ".mp3", kPosixPaths, "/b.mp3"},
    {"/a/b.mp3", false, "", ".mp3", kPosixPaths, "/a/b.mp3"},
    {"/a/c:d.wav", true, "/o", ".mp3", kPosixPaths, "/o/c:d.mp3"},
};

class OutputPathTest : public ::testing::TestWithParam<PathCase> {};

}  // namespace

TEST_P(OutputPathTest, FollowsTheNamingRule) {
    const PathCase& c = GetParam();
    EXPECT_EQ(OutputPathFor(c.source, c.customDir, c.outputDir, c.extension, c.style), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, OutputPathTest, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(TargetExtension, FollowsTheFormatOrder) {
    EXPECT_STREQ(TargetExtension(0), ".mp3");
    EXPECT_STREQ(TargetExtension(1), ".wma");
    EXPECT_STREQ(TargetExtension(2), ".ogg");
    EXPECT_STREQ(TargetExtension(3), ".mp3");
}
