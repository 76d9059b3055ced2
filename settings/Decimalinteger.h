// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// A decimal integer as the settings file and the packs store it: an optional "+" or "-" followed
// by decimal digits and nothing else, within the range of int. Anything else (blanks, hexadecimal,
// a fraction, an overflow) gives nullopt.
std::optional<int> ParseDecimalInteger(const std::string& text);
