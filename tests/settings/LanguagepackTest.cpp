// SPDX-License-Identifier: GPL-3.0-or-later
#include "Languagepack.h"

#include <gtest/gtest.h>

#include "SettingsTestFolder.h"
#include "Settingsfile.h"

namespace {

class LanguagepackTest : public testing::Test {
  protected:
    std::string SettingsFile() const { return folder_.Dir() + "Sonvert.ini"; }
    SettingsTestFolder folder_;
};

TEST_F(LanguagepackTest, LanguageIdsChooseTheirPacks) {
    const struct {
        unsigned short id;
        const char* pack;
    } cases[] = {
        {0x0804, "ChineseGB.ini"},   {0x1004, "ChineseGB.ini"}, {0x0404, "ChineseBig5.ini"},
        {0x0C04, "ChineseBig5.ini"}, {0x0419, "Russian.ini"},   {0x0409, "English.ini"},
        {0x1404, "English.ini"},     {0x0819, "English.ini"},   {0x0407, "English.ini"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguagePackForLanguageId(c.id), c.pack) << std::hex << c.id;
    }
}

TEST_F(LanguagepackTest, FirstStartWritesTheChoice) {
    const struct {
        unsigned short id;
        const char* pack;
    } cases[] = {
        {0x0804, "ChineseGB.ini"}, {0x0C04, "ChineseBig5.ini"}, {0x0419, "Russian.ini"},
        {0x0409, "English.ini"},   {0x1404, "English.ini"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(SettingsFile());
        platform::SetUserLanguageIdForTesting(c.id);
        EXPECT_EQ(ChooseLanguagePackFile(), c.pack) << std::hex << c.id;
        EXPECT_EQ(SettingsTestFolder::Read(SettingsFile()),
                  std::string("[General]\r\nLanguage=") + c.pack + "\r\n")
            << std::hex << c.id;
    }
}

TEST_F(LanguagepackTest, StoredChoiceWins) {
    const struct {
        const char* file;
        const char* pack;
        const char* after;
    } cases[] = {
        {"[General]\nLanguage= Russian.ini \n", "Russian.ini",
         "[General]\nLanguage= Russian.ini \n"},
        {"[general]\nlanguage=Missing.ini\n", "Missing.ini", "[general]\nlanguage=Missing.ini\n"},
        // Empty counts as not chosen yet: the choice is written into the existing key.
        {"[General]\nLanguage=\nOutputFormat=3\n", "ChineseGB.ini",
         "[General]\nLanguage=ChineseGB.ini\nOutputFormat=3\n"},
        {"[General]\nLanguage=  \n", "ChineseGB.ini", "[General]\nLanguage=ChineseGB.ini\n"},
    };
    platform::SetUserLanguageIdForTesting(0x0804);
    for (const auto& c : cases) {
        SettingsTestFolder::Write(SettingsFile(), c.file);
        EXPECT_EQ(ChooseLanguagePackFile(), c.pack) << c.file;
        EXPECT_EQ(SettingsTestFolder::Read(SettingsFile()), c.after) << c.file;
    }
}

TEST_F(LanguagepackTest, RefusedFirstStartWriteIsAnError) {
    platform::SetUserLanguageIdForTesting(0x0419);
    const std::string refused = folder_.LockFolders();
    try {
        ChooseLanguagePackFile();
        ADD_FAILURE() << "no error";
    } catch (const SettingsError& error) {
        EXPECT_EQ(error.what(), "Unable to write to " + refused);
    }
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

TEST_F(LanguagepackTest, PackFolderIsBesideTheProgram) {
    EXPECT_EQ(LanguagePackDir(), folder_.Dir() + "SVLanguage/");
}

TEST_F(LanguagepackTest, LookupsReadThePackEveryTime) {
    const std::string path = folder_.Dir() + "Pack.ini";
    const platform::IniFile pack(path);
    EXPECT_EQ(LanguageString(nullptr, "Common", "Ok", "dflt"), "dflt");
    EXPECT_EQ(LanguageString(&pack, "Common", "Ok", "dflt"), "dflt");  // no file yet

    SettingsTestFolder::Write(path, "[Common]\nOk=Fine\nCancel=\n");
    EXPECT_EQ(LanguageString(&pack, "Common", "Ok", ""), "Fine");
    EXPECT_EQ(LanguageString(&pack, "common", "OK", ""), "Fine");
    EXPECT_EQ(LanguageString(&pack, "Common", "Cancel", "dflt"), "");
    EXPECT_EQ(LanguageString(&pack, "Common", "Default", "dflt"), "dflt");

    SettingsTestFolder::Write(path, "[Common]\nOk=Changed\n");
    EXPECT_EQ(LanguageString(&pack, "Common", "Ok", ""), "Changed");
}

TEST_F(LanguagepackTest, FontWithFallbacks) {
    const struct {
        const char* name;
        const char* file;  // nullptr: no pack file
        const char* fontName;
        int fontSize;
        int charSet;
    } cases[] = {
        {"no pack file", nullptr, "Tahoma", 8, 1},
        {"no property section", "[Common]\nOk=OK\n", "Tahoma", 8, 1},
        {"all given", "[LanguageProperty]\nFontName=DejaVu Sans\nFontSize=12\nCharSet=204\n",
         "DejaVu Sans", 12, 204},
        {"size not a number", "[LanguageProperty]\nFontSize=big\nCharSet=134\n", "Tahoma", 8, 134},
        {"size with a fraction", "[LanguageProperty]\nFontSize=9.5\n", "Tahoma", 8, 1},
        {"size zero", "[LanguageProperty]\nFontSize=0\n", "Tahoma", 8, 1},
        {"size negative", "[LanguageProperty]\nFontSize=-9\n", "Tahoma", 8, 1},
        {"size empty", "[LanguageProperty]\nFontSize=\n", "Tahoma", 8, 1},
        {"char set not a number", "[LanguageProperty]\nFontSize=10\nCharSet=GB2312\n", "Tahoma", 10,
         1},
        {"char set zero", "[LanguageProperty]\nCharSet=0\n", "Tahoma", 8, 0},
        {"empty font name", "[LanguageProperty]\nFontName=\n", "", 8, 1},
    };
    for (const auto& c : cases) {
        const std::string path = folder_.Dir() + c.name + ".ini";
        if (c.file != nullptr) {
            SettingsTestFolder::Write(path, c.file);
        }
        const platform::IniFile pack(path);
        const PackFont font = ReadPackFont(&pack);
        EXPECT_EQ(font.FontName, c.fontName) << c.name;
        EXPECT_EQ(font.FontSize, c.fontSize) << c.name;
        EXPECT_EQ(font.CharSet, c.charSet) << c.name;
    }
    const PackFont none = ReadPackFont(nullptr);
    EXPECT_EQ(none.FontName, "Tahoma");
    EXPECT_EQ(none.FontSize, 8);
    EXPECT_EQ(none.CharSet, 1);
}

}  // namespace
