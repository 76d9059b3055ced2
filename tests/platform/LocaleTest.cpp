// SPDX-License-Identifier: GPL-3.0-or-later
#include "Locale.h"

#include <gtest/gtest.h>

namespace {

TEST(LocaleTest, LocaleNamesGiveWindowsLanguageIds) {
    const struct {
        const char* locale;
        unsigned short id;
    } cases[] = {
        {"zh_CN", 0x0804}, {"zh_SG", 0x1004},       {"zh_TW", 0x0404},
        {"zh_HK", 0x0C04}, {"zh_MO", 0x1404},       {"ru_RU", 0x0419},
        {"en_US", 0x0409}, {"en_GB", 0x0809},       {"de_DE", 0x0407},
        {"ja_JP", 0x0411}, {"zh_CN.UTF-8", 0x0804}, {"ru_RU.KOI8-R@x", 0x0419},
        {"zh-TW", 0x0404}, {"ZH_hk", 0x0C04},       {"ru_UA", 0x0419},
        {"de", 0x0407},    {"C", 0x0409},           {"POSIX", 0x0409},
        {"", 0x0409},      {"xx_YY", 0x0409},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::LanguageIdForLocale(c.locale), c.id) << c.locale;
    }
}

TEST(LocaleTest, TestsCanChooseTheUserLanguage) {
    platform::SetUserLanguageIdForTesting(0x0C04);
    EXPECT_EQ(platform::UserDefaultLanguageId(), 0x0C04);
    platform::SetUserLanguageIdForTesting(0);
    EXPECT_NE(platform::UserDefaultLanguageId(), 0);
}

}  // namespace
