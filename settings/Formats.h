// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The output formats, in the order of the format radio buttons and of Formats.
enum class OutputFormat { MP3 = 0, WMA = 1, OGG = 2 };

// One entry of a format's list: the value the encoder is given and the label the user reads.
struct ValueEntry {
    uint32_t Value;
    const char* Label;
};

// What the program shows, stores and hands on about one output format.
struct FormatFacts {
    const char* Name;       // radio button, tab, settings section, status bar
    const char* Extension;  // of the output files; without its dot, the name sonvert-batch takes
    const char* Code;       // "General" "OutputFormat" in the settings file
    // "Bitrate" or "Quality": the list's settings key, group box caption and language key.
    const char* ListName;
    std::span<const ValueEntry> List;
    int DefaultIndex;  // the list's built-in choice
    int StoredOffset;  // the settings file keeps the index plus this
};

// In kbit/s.
inline constexpr ValueEntry Mp3BitrateTable[] = {
    {32, "32kbps"},   {64, "64kbps"},   {96, "96kbps"},  {128, "128kbps"},
    {192, "192kbps"}, {256, "256kbps"}, {320, "320kbps"}};
// In bit/s.
inline constexpr ValueEntry WmaBitrateTable[] = {{48000, "48kbps"},   {64000, "64kbps"},
                                                 {80000, "80kbps"},   {96000, "96kbps"},
                                                 {128000, "128kbps"}, {160000, "160kbps"}};
// Vorbis quality levels 1 to 10.
inline constexpr ValueEntry OggQualityTable[] = {
    {1, "1  ~80kbps"},  {2, "2  ~90kbps"},   {3, "3  ~100kbps"}, {4, "4  ~112kbps"},
    {5, "5  ~150kbps"}, {6, "6  ~168kbps"},  {7, "7  ~200kbps"}, {8, "8  ~216kbps"},
    {9, "9  ~286kbps"}, {10, "10  ~360kbps"}};

inline constexpr std::array<FormatFacts, 3> Formats{{
    {"MP3", ".mp3", "1", "Bitrate", Mp3BitrateTable, 3, 0},
    {"WMA", ".wma", "2", "Bitrate", WmaBitrateTable, 3, 0},
    // The settings file keeps the Vorbis level, one above the index.
    {"OGG", ".ogg", "3", "Quality", OggQualityTable, 3, 1},
}};

// The position of a format in Formats; a value outside the enumeration counts as MP3.
constexpr std::size_t FormatIndex(OutputFormat format) {
    const auto index = static_cast<std::size_t>(format);
    return index < Formats.size() ? index : 0;
}
constexpr const FormatFacts& FormatOf(OutputFormat format) {
    return Formats[FormatIndex(format)];
}

// The entry an index of a format's list stands for. An index outside its list (a hand-edited
// settings file, a list without selection) takes the built-in choice: an end of the list would be
// the worst or the largest setting, which nobody chose.
constexpr const ValueEntry& ListEntry(OutputFormat format, int index) {
    const FormatFacts& facts = FormatOf(format);
    const bool inside = index >= 0 && static_cast<std::size_t>(index) < facts.List.size();
    return facts.List[static_cast<std::size_t>(inside ? index : facts.DefaultIndex)];
}
