// SPDX-License-Identifier: GPL-3.0-or-later
#include "Formats.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// Inside its list an index is its entry; anywhere else it is the built-in choice. A value
// outside the formats stands for MP3.
TEST(FormatsTest, IndexOutsideItsListTakesTheBuiltInEntry) {
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr int kMax = std::numeric_limits<int>::max();
    using F = OutputFormat;
    constexpr auto kNoFormat = static_cast<F>(3);
    const struct {
        OutputFormat format;
        int index;
        uint32_t value;
    } cases[] = {
        {F::MP3, -1, 128},     {F::MP3, 0, 32},     {F::MP3, 6, 320},    {F::MP3, 7, 128},
        {F::MP3, 9, 128},      {F::MP3, kMax, 128}, {F::MP3, kMin, 128}, {F::WMA, -1, 96000},
        {F::WMA, 0, 48000},    {F::WMA, 5, 160000}, {F::WMA, 6, 96000},  {F::WMA, 9, 96000},
        {F::WMA, kMax, 96000}, {F::OGG, -1, 4},     {F::OGG, 0, 1},      {F::OGG, 9, 10},
        {F::OGG, 10, 4},       {F::OGG, kMax, 4},   {kNoFormat, 6, 320},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListEntry(c.format, c.index).Value, c.value) << "index " << c.index;
    }
}

}  // namespace
