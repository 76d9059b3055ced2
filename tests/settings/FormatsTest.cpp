#include "Formats.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// Inside its list an index is its entry; anywhere else it is the built-in choice.
TEST(FormatsTest, IndexOutsideItsListTakesTheBuiltInEntry) {
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr int kMax = std::numeric_limits<int>::max();
    const struct {
        const ValueEntry& (*entry)(int);
        int index;
        uint32_t value;
    } cases[] = {
        {Mp3BitrateEntry, -1, 128},     {Mp3BitrateEntry, 0, 32},     {Mp3BitrateEntry, 6, 320},
        {Mp3BitrateEntry, 7, 128},      {Mp3BitrateEntry, 9, 128},    {Mp3BitrateEntry, kMax, 128},
        {Mp3BitrateEntry, kMin, 128},   {WmaBitrateEntry, -1, 96000}, {WmaBitrateEntry, 0, 48000},
        {WmaBitrateEntry, 5, 160000},   {WmaBitrateEntry, 6, 96000},  {WmaBitrateEntry, 9, 96000},
        {WmaBitrateEntry, kMax, 96000}, {OggQualityEntry, -1, 4},     {OggQualityEntry, 0, 1},
        {OggQualityEntry, 9, 10},       {OggQualityEntry, 10, 4},     {OggQualityEntry, kMax, 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.entry(c.index).Value, c.value) << "index " << c.index;
    }
}

}  // namespace
