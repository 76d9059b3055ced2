// SPDX-License-Identifier: GPL-3.0-or-later
#include "Packtext.h"

#include <gtest/gtest.h>

namespace {

TEST(PacktextTest, DecodesByCharacterSet) {
    const struct {
        const char* name;
        std::string bytes;
        int charSet;
        const char* expected;  // UTF-8
        bool clean;
    } cases[] = {
        {"GB2312", "\xC4\xE3\xBA\xC3", 134, "你好", true},
        {"GBK beyond GB2312", "\x81\x40", 134, "丂", true},
        {"Big5", "\xA4\xA4\xA4\xE5", 136, "中文", true},
        {"Windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2", 204, "Привет", true},
        {"Windows-1252", "caf\xE9 \x80", 0, "café €", true},
        {"Greek", "\xE1", 161, "α", true},
        {"Central European", "\x9A", 238, "š", true},
        {"default set, UTF-8", "caf\xC3\xA9", 1, "café", true},
        {"default set, not UTF-8", "\xE9t\xE9", 1, "été", true},
        {"unknown set as default", "caf\xC3\xA9", 99, "café", true},
        {"ASCII in every set", "Add wav files", 136, "Add wav files", true},
        {"empty", "", 134, "", true},
        {"truncated GBK", "a\xC4", 134, "a\xEF\xBF\xBD", false},
        {"invalid Big5",
         "a\xFF"
         "b",
         136,
         "a\xEF\xBF\xBD"
         "b",
         false},
        {"Hebrew", "\xF9\xEC\xE5\xED", 177, "שלום", true},
        {"Hebrew before an invalid byte", "\xF9\xCA\xEC", 177, "ש\xEF\xBF\xBDל", false},
        {"Vietnamese", "Nam", 163, "Nam", true},
        {"Vietnamese, mark composed at the end", "Vi\xD2", 163, "Vỉ", true},
        {"Vietnamese before an invalid byte", "Vi\xD2\x81t", 163, "Vỉ\xEF\xBF\xBDt", false},
        {"UTF-8 text in a GB pack", "\xE4\xBD\xA0", 134, "浣\xEF\xBF\xBD", false},
        // Found by fuzzing: the converter steps over this pair itself, leaving nothing to skip.
        {"invalid Korean pair at the end", "\xA2\xE8", 129, "\xEF\xBF\xBD", false},
    };
    for (const auto& c : cases) {
        bool clean = !c.clean;
        EXPECT_EQ(DecodePackText(c.bytes, c.charSet, &clean), QString::fromUtf8(c.expected))
            << c.name;
        EXPECT_EQ(clean, c.clean) << c.name;
    }
}

}  // namespace
