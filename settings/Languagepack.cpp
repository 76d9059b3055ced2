// SPDX-License-Identifier: GPL-3.0-or-later
#include "Languagepack.h"

#include <QCollator>
#include <QString>

#include "Decimalinteger.h"
#include "DirectoryListing.h"
#include "Locale.h"
#include "ProgramDir.h"
#include "Settingsfile.h"

std::string LanguageString(const platform::IniFile* pack, const std::string& section,
                           const std::string& key, const std::string& defaultValue) {
    if (pack == nullptr) {
        return defaultValue;
    }
    return pack->ReadString(section, key, defaultValue);
}

std::string LanguagePackForLanguageId(unsigned short languageId) {
    switch (languageId) {
        case 0x0804:  // Chinese, People's Republic of China
        case 0x1004:  // Chinese, Singapore
            return "ChineseGB.ini";
        case 0x0404:  // Chinese, Taiwan
        case 0x0C04:  // Chinese, Hong Kong
            return "ChineseBig5.ini";
        case 0x0419:  // Russian, Russia
            return "Russian.ini";
        default:
            return "English.ini";
    }
}

std::string ChooseLanguagePackFile() {
    std::string name = platform::IniFile(SettingsReadPath()).ReadString("General", "Language", "");
    if (name.empty()) {
        name = LanguagePackForLanguageId(platform::UserDefaultLanguageId());
        PrepareSettingsWrite();
        platform::IniFile settings(SettingsPath());
        if (!settings.WriteString("General", "Language", name)) {
            throw SettingsError("Unable to write to " + SettingsPath());
        }
    }
    return name;
}

std::string LanguagePackDir() {
    return platform::ProgramDir() + "SVLanguage" + platform::PathSeparator;
}

std::string LanguagePackPath(const std::string& file) {
    const std::string dir = LanguagePackDir();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QString wanted = QString::fromStdString(file);
    for (const std::string& name : platform::ListIniFiles(dir)) {
        if (collator.compare(QString::fromStdString(name), wanted) == 0) {
            return dir + name;
        }
    }
    return dir + file;
}

PackFont ReadPackFont(const platform::IniFile* pack) {
    PackFont font;
    font.FontName = LanguageString(pack, "LanguageProperty", "FontName", "Tahoma");
    const auto size =
        ParseDecimalInteger(LanguageString(pack, "LanguageProperty", "FontSize", "8"));
    // A font cannot be zero or fewer points high.
    font.FontSize = size && *size > 0 ? *size : 8;
    const auto charSet =
        ParseDecimalInteger(LanguageString(pack, "LanguageProperty", "CharSet", "1"));
    font.CharSet = charSet ? *charSet : 1;
    return font;
}
