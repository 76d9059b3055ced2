// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// The user's default language identifier, in the Windows numbering (0x0409 English, United
// States; 0x0804 Chinese, People's Republic of China; ...), worked out from the user's locale.
unsigned short UserDefaultLanguageId();

// The identifier for a locale name such as "zh_CN" or "ru_RU.UTF-8": the exact language and
// territory when known, else the language's primary identifier, else 0x0409.
unsigned short LanguageIdForLocale(const std::string& localeName);

// Makes UserDefaultLanguageId() report the given identifier; 0 restores the real one.
void SetUserLanguageIdForTesting(unsigned short id);

}  // namespace platform
