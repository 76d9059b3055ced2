#pragma once

#include <array>
#include <cstdint>

// One entry of an option's list: the value the encoder is given and the label the user reads.
struct ValueEntry {
    uint32_t Value;
    const char* Label;
};

// Every list's built-in choice is its fourth entry.
inline constexpr int DefaultEntryIndex = 3;

// In kbit/s.
inline constexpr std::array<ValueEntry, 7> Mp3BitrateTable{{{32, "32kbps"},
                                                            {64, "64kbps"},
                                                            {96, "96kbps"},
                                                            {128, "128kbps"},
                                                            {192, "192kbps"},
                                                            {256, "256kbps"},
                                                            {320, "320kbps"}}};
// In bit/s.
inline constexpr std::array<ValueEntry, 6> WmaBitrateTable{{{48000, "48kbps"},
                                                            {64000, "64kbps"},
                                                            {80000, "80kbps"},
                                                            {96000, "96kbps"},
                                                            {128000, "128kbps"},
                                                            {160000, "160kbps"}}};
// Vorbis quality levels 1 to 10.
inline constexpr std::array<ValueEntry, 10> OggQualityTable{{{1, "1  ~80kbps"},
                                                             {2, "2  ~90kbps"},
                                                             {3, "3  ~100kbps"},
                                                             {4, "4  ~112kbps"},
                                                             {5, "5  ~150kbps"},
                                                             {6, "6  ~168kbps"},
                                                             {7, "7  ~200kbps"},
                                                             {8, "8  ~216kbps"},
                                                             {9, "9  ~286kbps"},
                                                             {10, "10  ~360kbps"}}};

// The entry an option's index stands for. An index outside its list (a hand-edited settings file,
// a list without selection) takes the built-in choice: an end of the list would be the worst or
// the largest setting, which nobody chose.
const ValueEntry& Mp3BitrateEntry(int index);
const ValueEntry& WmaBitrateEntry(int index);
const ValueEntry& OggQualityEntry(int index);
