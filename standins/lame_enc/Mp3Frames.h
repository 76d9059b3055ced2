// SPDX-License-Identifier: GPL-3.0-or-later
// The layout of the library's own MP3 frames: where each frame's main data lies in the bit
// reservoir, which is what joining two encoders' frames needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lamestandin {

struct FrameInfo {
    std::size_t offset = 0;  // of the header
    std::size_t size = 0;
    std::size_t slot = 0;   // offset of the main data slot, after the side information
    int mainDataBegin = 0;  // bytes back into the slots of the frames before
    int mainDataBytes = 0;  // its granules' part2_3_length, rounded up to bytes
};

// The frames of a byte string that is whole frames of layer III; empty when it is not.
std::optional<std::vector<FrameInfo>> ReadFrames(const std::vector<uint8_t>& bytes);

// Where each frame's slot and main data sit in the reservoir, counted in slot bytes from the
// first frame's slot.
struct ReservoirMap {
    explicit ReservoirMap(const std::vector<FrameInfo>& frames);
    // Slot bytes before frame i (i may be the frame count: all of them).
    std::vector<int64_t> slotStart;
    // Where frame i's main data ends.
    std::vector<int64_t> dataEnd;
};

}  // namespace lamestandin
