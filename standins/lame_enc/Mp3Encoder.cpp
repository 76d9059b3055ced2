// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3Encoder.h"

namespace lamestandin {

Lame NewEncoder(const Mp3Settings& settings, EncoderRefusal* refusal) {
    auto refuse = [refusal](EncoderRefusal why) {
        if (refusal != nullptr) {
            *refusal = why;
        }
        return Lame();
    };
    Lame encoder(lame_init());
    if (!encoder) {
        return refuse(EncoderRefusal::Memory);
    }
    lame_t lame = encoder.get();
    lame_set_num_channels(lame, settings.channels);
    lame_set_in_samplerate(lame, settings.inputRate);
    lame_set_out_samplerate(lame, settings.outputRate);
    lame_set_mode(lame, settings.mode);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, settings.bitrate);
    lame_set_error_protection(lame, settings.crc ? 1 : 0);
    lame_set_copyright(lame, settings.copyright ? 1 : 0);
    lame_set_original(lame, settings.original ? 1 : 0);
    lame_set_extension(lame, settings.privateFlag ? 1 : 0);
    // The stream's one Info frame is the library's own (InfoFrame.h): a stream of several
    // encoders must not get one from each.
    lame_set_bWriteVbrTag(lame, 0);
    lame_set_findReplayGain(lame, 0);
    if (lame_init_params(lame) < 0) {
        return refuse(EncoderRefusal::Settings);
    }
    // libmp3lame silently clamps what it cannot carry; the caller was promised these.
    if (lame_get_brate(lame) != settings.bitrate ||
        lame_get_in_samplerate(lame) != settings.inputRate ||
        lame_get_out_samplerate(lame) != settings.outputRate) {
        return refuse(EncoderRefusal::Settings);
    }
    if (refusal != nullptr) {
        *refusal = EncoderRefusal::None;
    }
    return encoder;
}

int MaxFrameBytes(const Mp3Settings& settings) {
    return (settings.outputRate >= 32000 ? 144000 : 72000) * settings.bitrate /
               settings.outputRate +
           1;
}

int EncodedBound(int frames) {
    return frames + (frames + 3) / 4 + 7200;
}

int EncodeInto(lame_t lame, int channels, const int16_t* values, int frames, uint8_t* out,
               int capacity) {
    if (channels == 1) {
        return lame_encode_buffer(lame, values, values, frames, out, capacity);
    }
    // libmp3lame only reads the interleaved samples despite the non-const parameter.
    return lame_encode_buffer_interleaved(lame, const_cast<int16_t*>(values), frames, out,
                                          capacity);
}

int FlushInto(lame_t lame, bool endOfStream, uint8_t* out, int capacity) {
    return endOfStream ? lame_encode_flush(lame, out, capacity)
                       : lame_encode_flush_nogap(lame, out, capacity);
}

}  // namespace lamestandin
