// SPDX-License-Identifier: GPL-3.0-or-later
// The frame that begins every stream of the library: an Info tag with the encoder's delay, whose
// counts, seek table and padding the writer of the finished file fills in, as only it can.
#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <vector>

#include "Mp3Encoder.h"

namespace lamestandin {

// The most bytes the frame can take.
constexpr uint32_t kMostInfoFrameBytes = 1441;

// A frame of the stream's version, rate, mode and flags that decoders skip. It has the stream's
// bitrate where that frame holds the whole tag, otherwise the lowest bitrate whose frame does.
// `delay`: the samples before the first one of the input, in the output's rate.
std::vector<uint8_t> PlaceholderInfoFrame(const Mp3Settings& settings, lame_t encoder, int delay);

}  // namespace lamestandin
