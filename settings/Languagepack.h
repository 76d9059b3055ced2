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
