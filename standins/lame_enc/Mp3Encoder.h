// SPDX-License-Identifier: GPL-3.0-or-later
// libmp3lame encoders made from one set of settings: every encoder of a stream is made alike.
#pragma once

#include <lame/lame.h>

#include <cstdint>
#include <memory>

namespace lamestandin {

struct Mp3Settings {
    int channels = 2;
    int inputRate = 0;
    int outputRate = 0;
    MPEG_mode mode = STEREO;
    int bitrate = 0;  // kbit/s
    bool crc = false;
    bool copyright = false;
    bool original = false;
    bool privateFlag = false;
};

struct LameDeleter {
    void operator()(lame_t lame) const { lame_close(lame); }
};
using Lame = std::unique_ptr<lame_global_flags, LameDeleter>;

enum class EncoderRefusal { None, Settings, Memory };

// Null when libmp3lame cannot be set up, or would change the bitrate or the output rate that the
// caller was promised; `refusal` then says why.
Lame NewEncoder(const Mp3Settings& settings, EncoderRefusal* refusal = nullptr);

// The bytes of the longest frame at these settings (one with the padding byte).
int MaxFrameBytes(const Mp3Settings& settings);

// The most bytes one call of EncodeInto may give for `frames` sample frames (libmp3lame's bound).
int EncodedBound(int frames);

// Encodes whole sample frames of interleaved values into `out`; returns the byte count, or a
// negative number on failure.
int EncodeInto(lame_t lame, int channels, const int16_t* values, int frames, uint8_t* out,
               int capacity);

// The bytes of every frame encoded so far, the last one completed. At the end of the stream the
// samples still held are encoded first; otherwise the bit reservoir is emptied and the encoder
// keeps its samples, so that the next frame owes nothing to the ones before it.
int FlushInto(lame_t lame, bool endOfStream, uint8_t* out, int capacity);

}  // namespace lamestandin
