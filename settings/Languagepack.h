// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "IniFile.h"

// The text of a key in the current pack, or the default when there is no pack, section or key.
std::string LanguageString(const platform::IniFile* pack, const std::string& section,
                           const std::string& key, const std::string& defaultValue);

// The pack's file name: "General" "Language" of the settings file, or, when that is empty, the one
// for the user's language identifier, which is then written back. Throws SettingsError when that
// write is refused.
std::string ChooseLanguagePackFile();

// ProgramDir() + "SVLanguage/".
std::string LanguagePackDir();

// The path of the pack named `file` in LanguagePackDir(). The name matches the files there as the
// options dialog matches it, without regard to case (the first in name order wins), so a stored
// "english.ini" opens "English.ini"; a name that matches none gives its own path.
std::string LanguagePackPath(const std::string& file);

// The pack file name that a language identifier chooses: "ChineseGB.ini", "ChineseBig5.ini",
// "Russian.ini" or, for every other language, "English.ini".
std::string LanguagePackForLanguageId(unsigned short languageId);

// The font and character set that a pack asks for, with their fallbacks applied.
struct PackFont {
    std::string FontName;  // "Tahoma" when absent
    int FontSize = 8;      // points; 8 when absent, not a decimal integer, or not positive
    int CharSet = 1;       // Windows character-set number; 1 when absent or not a decimal integer
};
PackFont ReadPackFont(const platform::IniFile* pack);
