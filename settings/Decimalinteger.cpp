// SPDX-License-Identifier: GPL-3.0-or-later
#include "Decimalinteger.h"

#include <charconv>

std::optional<int> ParseDecimalInteger(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    // from_chars takes "-" but not "+".
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') {
            return std::nullopt;
        }
    }
    int value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, 10);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}
