// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "FileText.h"
#include "IniFile.h"
#include "Languagepack.h"
#include "Languagetable.h"
#include "Packtext.h"

namespace {

const std::string PackDir = SONVERT_PACK_DIR;
const char* const Missing = "\x01missing";

struct Key {
    std::string section;
    std::string key;
};

// Every key the program reads from a pack.
std::vector<Key> AllKeys() {
    std::vector<Key> keys;
    for (const LanguageTableRow& row : LanguageTable) {
        keys.push_back({row.Section, row.Key});
    }
    for (const LanguageKey& key : LookedUpLanguageKeys) {
        keys.push_back({key.Section, key.Key});
    }
    for (const LanguageKey& key : LanguagePropertyKeys) {
        keys.push_back({key.Section, key.Key});
    }
    return keys;
}

bool IsText(const Key& key) {
    return key.section != "LanguageProperty" || key.key == "Name";
}

bool HasCharIn(const QString& text, char16_t first, char16_t last) {
    for (QChar c : text) {
        if (c.unicode() >= first && c.unicode() <= last) {
            return true;
        }
    }
    return false;
}

auto InRange(char16_t first, char16_t last) {
    return [=](const QString& text) { return HasCharIn(text, first, last); };
}

struct Pack {
    const char* file;
    int charSet;
    const char* name;  // UTF-8
    // Whether a text is written in the pack's own script; none for Latin scripts.
    std::function<bool(const QString&)> inScript;
    // Texts that read as in English (section/key, blank-separated): words the language shares.
    const char* asInEnglish = "";
};

const Pack Packs[] = {
    {"English.ini", 0, "English", nullptr},
    {"ChineseGB.ini", 134, "简体中文", InRange(0x4E00, 0x9FFF)},
    {"ChineseBig5.ini", 136, "繁體中文", InRange(0x4E00, 0x9FFF)},
    {"Russian.ini", 204, "Русский", InRange(0x0400, 0x04FF)},
    {"Ukrainian.ini", 204, "Українська", InRange(0x0400, 0x04FF)},
    {"German.ini", 0, "Deutsch", nullptr,
     "ListView/Mono ListView/Stereo AboutForm/Version OptionsForm/Bitrate "
     "OptionsForm/CheckOriginal Common/Ok"},
    {"French.ini", 0, "Français", nullptr,
     "ToolBar/Options Hint/Options ListView/Mono OptionsForm/Caption OptionsForm/CheckOriginal "
     "Common/Ok Common/Message"},
    {"Spanish.ini", 0, "Español", nullptr,
     "ListView/Mono OptionsForm/General OptionsForm/CheckOriginal"},
    {"PortugueseBR.ini", 0, "Português (Brasil)", nullptr,
     "ListView/Mono OptionsForm/CheckOriginal Common/Ok"},
    {"Italian.ini", 0, "Italiano", nullptr, "ListView/Mono ListView/Stereo Common/Ok"},
    {"Dutch.ini", 0, "Nederlands", nullptr, "ListView/Mono ListView/Stereo Common/Ok"},
    {"Indonesian.ini", 0, "Bahasa Indonesia", nullptr, "ListView/Mono ListView/Stereo Common/Ok"},
    {"Polish.ini", 238, "Polski", nullptr, "ListView/Mono ListView/Stereo Common/Ok"},
    {"Czech.ini", 238, "Čeština", nullptr, "ListView/Mono ListView/Stereo Common/Ok"},
    {"Hungarian.ini", 238, "Magyar", nullptr, "Common/Ok"},
    {"Greek.ini", 161, "Ελληνικά", InRange(0x0370, 0x03FF), "Common/Ok"},
    {"Turkish.ini", 162, "Türkçe", nullptr, "ListView/Mono ListView/Stereo"},
    {"Vietnamese.ini", 163, "Tiếng Việt", nullptr, "Common/Ok"},
    {"Japanese.ini", 128, "日本語",
     [](const QString& text) {
         return HasCharIn(text, 0x3040, 0x30FF) || HasCharIn(text, 0x4E00, 0x9FFF);
     },
     "Common/Ok"},
    {"Korean.ini", 129, "한국어", InRange(0xAC00, 0xD7A3)},
};

using testfile::ReadAll;
TEST(ShippedPacksTest, EveryPackHoldsEveryKeyAndDecodesCleanly) {
    for (const auto& entry : std::filesystem::directory_iterator(PackDir)) {
        const std::string file = entry.path().filename().string();
        EXPECT_TRUE(std::any_of(std::begin(Packs), std::end(Packs),
                                [&](const Pack& pack) { return file == pack.file; }))
            << file << " ships without a row here";
    }
    const std::string sourceDir = SONVERT_PACK_SOURCE_DIR;
    for (const Pack& pack : Packs) {
        const std::string path = PackDir + pack.file;
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
        bool fileClean = false;
        const QString decoded = DecodePackText(ReadAll(path), pack.charSet, &fileClean);
        EXPECT_TRUE(fileClean) << pack.file;
        // Back to the very text it was written from (a code page may decompose some letters).
        std::string source = sourceDir + "utf8/" + pack.file;
        if (!std::filesystem::exists(source)) {
            source = sourceDir + pack.file;
        }
        EXPECT_EQ(decoded.normalized(QString::NormalizationForm_C),
                  QString::fromUtf8(ReadAll(source)).normalized(QString::NormalizationForm_C))
            << pack.file;

        const platform::IniFile ini(path);
        const PackFont font = ReadPackFont(&ini);
        EXPECT_EQ(font.CharSet, pack.charSet) << pack.file;
        EXPECT_FALSE(font.FontName.empty()) << pack.file;
        EXPECT_EQ(DecodePackText(ini.ReadString("LanguageProperty", "Name", ""), pack.charSet),
                  QString::fromUtf8(pack.name))
            << pack.file;
        for (const Key& key : AllKeys()) {
            const std::string value = ini.ReadString(key.section, key.key, Missing);
            const std::string where = std::string(pack.file) + " " + key.section + "/" + key.key;
            EXPECT_NE(value, Missing) << where;
            EXPECT_FALSE(value.empty()) << where;
        }
    }
}

TEST(ShippedPacksTest, EnglishPackReproducesTheBuiltInTexts) {
    const platform::IniFile ini(PackDir + "English.ini");
    for (const LanguageTableRow& row : LanguageTable) {
        EXPECT_EQ(ini.ReadString(row.Section, row.Key, Missing), row.BuiltIn)
            << row.Section << "/" << row.Key;
    }
    EXPECT_EQ(ini.ReadString("StatusBar", "Files", ""), "Files");
    EXPECT_EQ(ini.ReadString("ListView", "Mono", ""), "Mono");
    EXPECT_EQ(ini.ReadString("ListView", "Stereo", ""), "Stereo");
}

TEST(ShippedPacksTest, TranslatedPacksLeaveNoTextInEnglish) {
    // Abbreviations that every language writes the same way.
    const std::vector<std::string> sameEverywhere = {"OptionsForm/CheckCRC"};
    const platform::IniFile english(PackDir + "English.ini");
    for (const Pack& pack : Packs) {
        if (pack.file == std::string("English.ini")) {
            continue;
        }
        const std::string asInEnglish = std::string(" ") + pack.asInEnglish + " ";
        const platform::IniFile ini(PackDir + pack.file);
        for (const Key& key : AllKeys()) {
            if (!IsText(key)) {
                continue;
            }
            const std::string id = key.section + "/" + key.key;
            if (std::find(sameEverywhere.begin(), sameEverywhere.end(), id) !=
                    sameEverywhere.end() ||
                asInEnglish.find(" " + id + " ") != std::string::npos) {
                continue;
            }
            const std::string value = ini.ReadString(key.section, key.key, "");
            const QString text = DecodePackText(value, pack.charSet);
            EXPECT_TRUE(!pack.inScript || pack.inScript(text))
                << pack.file << " " << id << ": " << text.toStdString();
            EXPECT_NE(value, english.ReadString(key.section, key.key, ""))
                << pack.file << " " << id;
        }
    }
}

}  // namespace
