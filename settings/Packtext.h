// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

// Pack values are byte strings in the code page of the pack's "CharSet" (a Windows character-set
// number). Every text taken from a pack goes through DecodePackText before a window shows it.
//
//   0 Western (Windows-1252)        128 Japanese (Shift-JIS)   129 Korean (CP949)
//   1 system default: UTF-8 when the bytes are valid UTF-8, else Windows-1252
//   2 symbol (Windows-1252)         134 Simplified Chinese (GB2312, decoded as GBK)
//   136 Traditional Chinese (Big5)  161 Greek (1253)   162 Turkish (1254)   163 Vietnamese (1258)
//   177 Hebrew (1255)  178 Arabic (1256)  186 Baltic (1257)  204 Cyrillic (1251)  222 Thai (874)
//   238 Central European (1250)     255 OEM (437)      77 Macintosh Roman
// Any other number is treated as the system default.
//
// Bytes that are not valid in the code page become U+FFFD; *clean (when given) tells whether that
// happened.
QString DecodePackText(const std::string& bytes, int charSet, bool* clean = nullptr);

// The iconv name of the code page that a character-set number stands for; empty for the system
// default, which has no single code page.
std::string CodePageForCharSet(int charSet);
