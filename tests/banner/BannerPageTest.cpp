// SPDX-License-Identifier: GPL-3.0-or-later
#include <QByteArray>
#include <QRect>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Banner.h"
#include "TempFolder.h"

namespace {

std::string Page() {
    return banner::PageResource().toStdString();
}

// The page's parts in the order a reader meets them; each is found after the previous one.
TEST(BannerPageTest, HoldsEveryPartInDocumentOrder) {
    const std::vector<std::string> parts = {
        "content=\"text/html; charset=gb2312\"",
        "<script",
        "oncontextmenu",
        "returnValue = false",
        "onselectstart",
        "returnValue = false",
        "</script>",
        "<style",
        "background-color: #99CCFF",
        "</style>",
        "<body",
        "overflow:hidden",
        "border:none",
        "topmargin=\"0\"",
        "leftmargin=\"0\"",
        "<div id=\"V1\">",
        "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\"",
        "#version=6,0,29,0\"",
        "width=\"257\" height=\"65\">",
        "<param name=\"movie\" value=\"iniflash.swf\">",
        "<param name=\"quality\" value=\"high\">",
        "<param name=\"wmode\" value=\"Transparent\">",
        "<param name=\"menu\" value=\"false\">",
        "<embed src=\"iniflash.swf\"",
        "width=\"257\" height=\"65\"",
        "quality=\"high\"",
        "pluginspage=\"",
        "type=\"application/x-shockwave-flash\"",
        "wmode=\"Transparent\"",
        "</embed>",
        "</object>",
        "</div>",
        "</body>",
    };
    const std::string page = Page();
    std::string::size_type from = 0;
    for (const std::string& part : parts) {
        const auto at = page.find(part, from);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << part;
        from = at + part.size();
    }
}

TEST(BannerPageTest, NamesTheMovieTwiceAndEndsLinesWithCrLf) {
    const std::string page = Page();
    int names = 0;
    for (auto at = page.find("iniflash.swf"); at != std::string::npos;
         at = page.find("iniflash.swf", at + 1)) {
        ++names;
    }
    EXPECT_EQ(names, 2);
    ASSERT_FALSE(page.empty());
    for (std::string::size_type i = 0; i < page.size(); ++i) {
        if (page[i] == '\n') {
            ASSERT_TRUE(i > 0 && page[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
    EXPECT_EQ(page.substr(page.size() - 2), "\r\n");
}

struct PageCase {
    const char* name;
    const char* page;
    const char* moviePath;
    const char* expected;
};

class BannerPageForTest : public testing::TestWithParam<PageCase> {};

TEST_P(BannerPageForTest, ReplacesThePlaceholderAndEndsEveryLineWithCrLf) {
    const PageCase& c = GetParam();
    EXPECT_EQ(banner::PageFor(c.page, c.moviePath).toStdString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, BannerPageForTest,
    testing::Values(PageCase{"BothPlacesOnOneLine", "<a iniflash.swf><b iniflash.swf>\r\n",
                             "/tmp/_SonvertAd.swf",
                             "<a /tmp/_SonvertAd.swf><b /tmp/_SonvertAd.swf>\r\n"},
                    PageCase{"WindowsPath", "v=\"iniflash.swf\"\r\n", "C:\\Temp\\_SonvertAd.swf",
                             "v=\"C:\\Temp\\_SonvertAd.swf\"\r\n"},
                    PageCase{"PathWithBlanksAndUtf8", "iniflash.swf\r\n",
                             "/tmp/m\xC3\xBCll er/_SonvertAd.swf",
                             "/tmp/m\xC3\xBCll er/_SonvertAd.swf\r\n"},
                    PageCase{"OnlyExactCase", "IniFlash.swf INIFLASH.SWF iniflash.swf\r\n", "/m",
                             "IniFlash.swf INIFLASH.SWF /m\r\n"},
                    PageCase{"BareLineFeedsBecomeCrLf", "a\nb\n", "/m", "a\r\nb\r\n"},
                    PageCase{"LastLineWithoutEnd", "a\r\nb", "/m", "a\r\nb\r\n"},
                    PageCase{"EmptyLinesKept", "a\r\n\r\nb\r\n", "/m", "a\r\n\r\nb\r\n"},
                    PageCase{"EmptyPage", "", "/m", ""}),
    [](const testing::TestParamInfo<PageCase>& p) { return std::string(p.param.name); });

struct AdCase {
    const char* name;
    const char* value;
    bool on;
};

class BannerSwitchTest : public testing::TestWithParam<AdCase> {};

TEST_P(BannerSwitchTest, OnlyAZeroSwitchesTheBannerOff) {
    EXPECT_EQ(banner::IsOn(GetParam().value), GetParam().on);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BannerSwitchTest,
    testing::Values(AdCase{"Zero", "0", false}, AdCase{"ZeroWithBlanks", " 0 ", false},
                    AdCase{"ZeroWithTab", "\t0", false}, AdCase{"DoubleZero", "00", true},
                    AdCase{"False", "false", true}, AdCase{"Empty", "", true},
                    AdCase{"Blanks", "   ", true}, AdCase{"One", "1", true},
                    AdCase{"TwoZeros", "0 0", true}, AdCase{"LetterO", "O", true}),
    [](const testing::TestParamInfo<AdCase>& p) { return std::string(p.param.name); });

struct FolderCase {
    const char* name;
    const char* folder;
    char separator;
    const char* expected;
};

class TempFolderSeparatorTest : public testing::TestWithParam<FolderCase> {};

TEST_P(TempFolderSeparatorTest, EndsInExactlyOneSeparator) {
    const FolderCase& c = GetParam();
    EXPECT_EQ(platform::WithTrailingSeparator(c.folder, c.separator), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, TempFolderSeparatorTest,
    testing::Values(FolderCase{"WindowsWithSeparator", "C:\\Temp\\", '\\', "C:\\Temp\\"},
                    FolderCase{"WindowsWithout", "C:\\Temp", '\\', "C:\\Temp\\"},
                    FolderCase{"WindowsNoSeparatorAtAll", "Temp", '\\', "Temp\\"},
                    FolderCase{"WindowsDriveRoot", "C:\\", '\\', "C:\\"},
                    FolderCase{"LinuxWithSeparator", "/tmp/", '/', "/tmp/"},
                    FolderCase{"LinuxWithout", "/tmp", '/', "/tmp/"},
                    FolderCase{"LinuxRoot", "/", '/', "/"}, FolderCase{"Empty", "", '/', "/"}),
    [](const testing::TestParamInfo<FolderCase>& p) { return std::string(p.param.name); });

struct PressCase {
    const char* name;
    int x;
    int y;
    bool swallowed;
};

class RightPressTest : public testing::TestWithParam<PressCase> {};

// The browser at (443, 0), 257 x 65: strict bounds on all four sides.
TEST_P(RightPressTest, SwallowsOnlyStrictlyInsideTheBrowser) {
    const QRect browser(443, 0, 257, 65);
    EXPECT_EQ(banner::SwallowsRightPress(browser, {GetParam().x, GetParam().y}),
              GetParam().swallowed);
}

INSTANTIATE_TEST_SUITE_P(
    Points, RightPressTest,
    testing::Values(
        PressCase{"OnePixelInside", 444, 1, true}, PressCase{"Centre", 571, 32, true},
        PressCase{"LeftColumn", 443, 30, false}, PressCase{"TopRow", 500, 0, false},
        PressCase{"LastInnerColumn", 699, 30, true}, PressCase{"LastInnerRow", 500, 64, true},
        PressCase{"RightOfBrowser", 700, 30, false}, PressCase{"BelowBrowser", 500, 65, false},
        PressCase{"LeftOfBrowser", 100, 30, false}, PressCase{"AboveWindow", 500, -5, false}),
    [](const testing::TestParamInfo<PressCase>& p) { return std::string(p.param.name); });

}  // namespace
