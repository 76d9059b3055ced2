// SPDX-License-Identifier: GPL-3.0-or-later
// Which sample rate an MP3 stream gets for a constant bitrate.
#pragma once

#include <cstdint>
#include <optional>

namespace lamestandin {

// True when the bitrate (kbit/s) may appear in a frame header at this MP3 sample rate.
bool BitrateLegalAt(uint32_t sampleRate, uint32_t bitrate);

// The input's own rate when it is an MP3 rate that carries the bitrate, otherwise the nearest MP3
// rate that does (the higher one on a tie). Empty when no MP3 rate carries the bitrate.
std::optional<uint32_t> OutputRateFor(uint32_t inputRate, uint32_t bitrate);

}  // namespace lamestandin
