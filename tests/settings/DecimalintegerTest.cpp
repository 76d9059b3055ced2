// SPDX-License-Identifier: GPL-3.0-or-later
#include "Decimalinteger.h"

#include <gtest/gtest.h>

namespace {

TEST(DecimalintegerTest, AcceptsOnlySignedDecimalDigits) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"0", 0},
        {"7", 7},
        {"+7", 7},
        {"-7", -7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"--1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"$10", std::nullopt},
        {"0x10", std::nullopt},
        {"1e3", std::nullopt},
        {"1.0", std::nullopt},
        {"12abc", std::nullopt},
        {"\xD9\xA3", std::nullopt},  // ARABIC-INDIC DIGIT THREE
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDecimalInteger(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
