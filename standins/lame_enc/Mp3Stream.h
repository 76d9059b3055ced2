// SPDX-License-Identifier: GPL-3.0-or-later
// What the entry points drive: one MP3 stream, fed interleaved 16-bit values and handing back
// finished bytes in stream order.
#pragma once

#include <cstdint>
#include <vector>

#include "Mp3Encoder.h"

namespace lamestandin {

class Mp3Stream {
  public:
    virtual ~Mp3Stream() = default;

    // Takes `count` values and puts at most `capacity` finished bytes into `output`; false when
    // the encoder failed.
    virtual bool Encode(const int16_t* values, uint32_t count, uint8_t* output, uint32_t capacity,
                        uint32_t* produced) = 0;

    // Ends the stream: every byte still owed, which must fit into `capacity`.
    virtual bool Finish(uint8_t* output, uint32_t capacity, uint32_t* produced) = 0;
};

// The whole stream through one encoder, each value encoded as it arrives.
class SingleStream final : public Mp3Stream {
  public:
    SingleStream(Lame encoder, int channels) : lame_(std::move(encoder)), channels_(channels) {}

    bool Encode(const int16_t* values, uint32_t count, uint8_t* output, uint32_t capacity,
                uint32_t* produced) override;
    bool Finish(uint8_t* output, uint32_t capacity, uint32_t* produced) override;

  private:
    Lame lame_;
    int channels_;
    // A stereo value whose partner has not arrived yet (a chunk of odd length).
    bool hasPendingValue_ = false;
    int16_t pendingValue_ = 0;
    std::vector<int16_t> joined_;  // a pending value followed by the next chunk
};

}  // namespace lamestandin
