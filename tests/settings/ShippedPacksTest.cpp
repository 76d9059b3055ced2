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

struct Pack {
    const char* file;
    int charSet;
    const char* name;  // UTF-8
    // Whether a text is written in the pack's own script.
    std::function<bool(const QString&)> inScript;
};

const Pack Packs[] = {
    {"English.ini", 0, "English", nullptr},
    {"ChineseGB.ini", 134, "简体中文",
     [](const QString& text) { return HasCharIn(text, 0x4E00, 0x9FFF); }},
    {"ChineseBig5.ini", 136, "繁體中文",
     [](const QString& text) { return HasCharIn(text, 0x4E00, 0x9FFF); }},
    {"Russian.ini", 204, "Русский",
     [](const QString& text) { return HasCharIn(text, 0x0400, 0x04FF); }},
};

using testfile::ReadAll;
TEST(ShippedPacksTest, EveryPackHoldsEveryKeyAndDecodesCleanly) {
    for (const Pack& pack : Packs) {
        const std::string path = PackDir + pack.file;
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
        bool fileClean = false;
        DecodePackText(ReadAll(path), pack.charSet, &fileClean);
        EXPECT_TRUE(fileClean) << pack.file;

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
        if (!pack.inScript) {
            continue;
        }
        const platform::IniFile ini(PackDir + pack.file);
        for (const Key& key : AllKeys()) {
            if (!IsText(key)) {
                continue;
            }
            const std::string id = key.section + "/" + key.key;
            if (std::find(sameEverywhere.begin(), sameEverywhere.end(), id) !=
                sameEverywhere.end()) {
                continue;
            }
            const std::string value = ini.ReadString(key.section, key.key, "");
            const QString text = DecodePackText(value, pack.charSet);
            EXPECT_TRUE(pack.inScript(text))
                << pack.file << " " << id << ": " << text.toStdString();
            EXPECT_NE(value, english.ReadString(key.section, key.key, ""))
                << pack.file << " " << id;
        }
    }
}

}  // namespace
