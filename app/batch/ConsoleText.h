// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One character of a UTF-8 text: its code point and its length in bytes; length 0 when the bytes
// at that place are not a well-formed sequence (overlong forms, surrogates and values past
// U+10FFFF included).
struct Utf8Char {
    char32_t code = 0;
    std::size_t length = 0;
};
Utf8Char DecodeUtf8(std::string_view text, std::size_t at);

// The text as a terminal may show it: control characters (C0, DEL and C1) and bytes that are not
// UTF-8 are written as \xNN, so that a file name can neither move the cursor nor break the line.
std::string EscapeControls(std::string_view text);

// The columns a terminal gives a character: 2 for East Asian wide and fullwidth ones, 0 for
// combining marks and zero-width characters, else 1. The same in every locale.
int CharWidth(char32_t code);

// The columns of a UTF-8 text; a byte that is not UTF-8 counts one.
std::size_t DisplayWidth(std::string_view text);

// The text within `width` columns: as it is when it fits, else cut at a character boundary and
// ended with "...".
std::string CutToWidth(std::string_view text, std::size_t width);
