// The MP3 encoder library: the be* entry points over libmp3lame, constant bitrate only.
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "LameEncApi.h"
#include "Mp3Rates.h"
#include "StreamTable.h"

#define LAME_ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The version of this library's own interface, reported beside the engine's.
constexpr uint8_t kInterfaceMajor = 1;
constexpr uint8_t kInterfaceMinor = 32;

// Frames of input per chunk: big enough that the call overhead vanishes, small enough for a
// lively progress bar.
constexpr uint32_t kFramesPerChunk = 8;
constexpr uint32_t kSamplesPerFrame = 1152;

constexpr uint32_t kResultOk = 0;
constexpr uint32_t kResultInvalidParameter = 1;
constexpr uint32_t kResultInvalidHandle = 2;
constexpr uint32_t kResultEncoderFailure = 3;

struct LameDeleter {
    void operator()(lame_t lame) const { lame_close(lame); }
};

struct Stream {
    std::unique_ptr<lame_global_flags, LameDeleter> lame;
    int channels = 2;
    uint32_t chunkValues = 0;  // 16-bit values per chunk, all channels together
    uint32_t bufferSize = 0;   // what the caller's output buffer holds
    // A stereo value whose partner has not arrived yet (a chunk of odd length).
    bool hasPendingValue = false;
    int16_t pendingValue = 0;
    std::vector<int16_t> joined;  // a pending value followed by the next chunk
    bool flushed = false;
};

standins::StreamTable<Stream>& Streams() {
    static standins::StreamTable<Stream> table;
    return table;
}

MPEG_mode ModeFor(uint8_t modeByte) {
    switch (modeByte) {
        case 0:
            return STEREO;
        case 1:
            return JOINT_STEREO;
        case 2:
            return DUAL_CHANNEL;
        default:
            return MONO;
    }
}

// The worst case of one chunk: libmp3lame asks for 1.25 bytes per sample plus 7200, counted in
// output samples, which resampling up multiplies.
uint32_t BufferSizeFor(uint32_t samplesPerChannel, uint32_t inputRate, uint32_t outputRate) {
    const double ratio = std::max(1.0, static_cast<double>(outputRate) / inputRate);
    return static_cast<uint32_t>(std::ceil(1.25 * (samplesPerChannel + 1) * ratio)) + 7200;
}

}  // namespace

LAME_ENC_EXPORT uint32_t beInitStream(const LameConfig* config, uint32_t* samplesPerChunk,
                                      uint32_t* outputBufferSize, LameStream* stream) {
    if (config == nullptr || samplesPerChunk == nullptr || outputBufferSize == nullptr ||
        stream == nullptr) {
        return kResultInvalidParameter;
    }
    if (config->kind != 0 || config->mode > 3 || config->sampleRate == 0) {
        return kResultInvalidParameter;
    }
    const std::optional<uint32_t> outputRate =
        lamestandin::OutputRateFor(config->sampleRate, config->bitrate);
    if (!outputRate) {
        return kResultInvalidParameter;
    }
    auto state = std::make_unique<Stream>();
    state->lame.reset(lame_init());
    if (!state->lame) {
        return kResultEncoderFailure;
    }
    lame_t lame = state->lame.get();
    state->channels = config->mode == 3 ? 1 : 2;
    lame_set_num_channels(lame, state->channels);
    lame_set_in_samplerate(lame, static_cast<int>(config->sampleRate));
    lame_set_out_samplerate(lame, static_cast<int>(*outputRate));
    lame_set_mode(lame, ModeFor(config->mode));
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, config->bitrate);
    lame_set_error_protection(lame, config->crc != 0 ? 1 : 0);
    lame_set_copyright(lame, config->copyright != 0 ? 1 : 0);
    lame_set_original(lame, config->original != 0 ? 1 : 0);
    lame_set_extension(lame, config->privateFlag != 0 ? 1 : 0);
    // The caller writes our bytes strictly in order and never seeks back, so a tag frame, whose
    // counts are only known at the end, could never be completed. Without one a decoder reads
    // plain frames instead of a blank tag frame that it would play as silence.
    lame_set_bWriteVbrTag(lame, 0);
    lame_set_findReplayGain(lame, 0);
    if (lame_init_params(lame) < 0) {
        return kResultInvalidParameter;
    }
    // libmp3lame silently clamps what it cannot carry; the caller was promised this bitrate.
    if (lame_get_brate(lame) != config->bitrate ||
        lame_get_out_samplerate(lame) != static_cast<int>(*outputRate)) {
        return kResultInvalidParameter;
    }
    const uint32_t perChannel = kFramesPerChunk * kSamplesPerFrame;
    state->chunkValues = perChannel * static_cast<uint32_t>(state->channels);
    state->bufferSize = BufferSizeFor(perChannel, config->sampleRate, *outputRate);
    state->joined.reserve(state->chunkValues + 1);
    *samplesPerChunk = state->chunkValues;
    *outputBufferSize = state->bufferSize;
    *stream = Streams().Add(std::move(state));
    return kResultOk;
}

LAME_ENC_EXPORT uint32_t beEncodeChunk(LameStream stream, uint32_t sampleCount,
                                       const int16_t* samples, uint8_t* output,
                                       uint32_t* outputBytes) {
    Stream* state = Streams().Find(stream);
    if (state == nullptr) {
        return kResultInvalidHandle;
    }
    if (outputBytes == nullptr || output == nullptr || (samples == nullptr && sampleCount != 0) ||
        sampleCount > state->chunkValues || state->flushed) {
        return kResultInvalidParameter;
    }
    *outputBytes = 0;
    lame_t lame = state->lame.get();
    int encoded = 0;
    if (state->channels == 1) {
        encoded = lame_encode_buffer(lame, samples, samples, static_cast<int>(sampleCount), output,
                                     static_cast<int>(state->bufferSize));
    } else {
        const int16_t* values = samples;
        uint32_t count = sampleCount;
        if (state->hasPendingValue && count > 0) {
            state->joined.assign(1, state->pendingValue);
            state->joined.insert(state->joined.end(), samples, samples + count);
            values = state->joined.data();
            ++count;
            state->hasPendingValue = false;
        }
        if (count % 2 != 0) {
            state->hasPendingValue = true;
            state->pendingValue = values[count - 1];
            --count;
        }
        // libmp3lame only reads the interleaved samples despite the non-const parameter.
        encoded = lame_encode_buffer_interleaved(lame, const_cast<int16_t*>(values),
                                                 static_cast<int>(count / 2), output,
                                                 static_cast<int>(state->bufferSize));
    }
    if (encoded < 0) {
        return kResultEncoderFailure;
    }
    *outputBytes = static_cast<uint32_t>(encoded);
    return kResultOk;
}

LAME_ENC_EXPORT uint32_t beDeinitStream(LameStream stream, uint8_t* output, uint32_t* outputBytes) {
    Stream* state = Streams().Find(stream);
    if (state == nullptr) {
        return kResultInvalidHandle;
    }
    if (output == nullptr || outputBytes == nullptr || state->flushed) {
        return kResultInvalidParameter;
    }
    *outputBytes = 0;
    state->flushed = true;
    const int encoded =
        lame_encode_flush(state->lame.get(), output, static_cast<int>(state->bufferSize));
    if (encoded < 0) {
        return kResultEncoderFailure;
    }
    *outputBytes = static_cast<uint32_t>(encoded);
    return kResultOk;
}

LAME_ENC_EXPORT uint32_t beCloseStream(LameStream stream) {
    return Streams().Remove(stream) ? kResultOk : kResultInvalidHandle;
}

LAME_ENC_EXPORT uint32_t beVersion(LameVersion* version) {
    if (version == nullptr) {
        return kResultInvalidParameter;
    }
    std::memset(version, 0, sizeof(*version));
    lame_version_t engine{};
    get_lame_version_numerical(&engine);
    version->libraryMajor = kInterfaceMajor;
    version->libraryMinor = kInterfaceMinor;
    version->engineMajor = static_cast<uint8_t>(engine.major);
    version->engineMinor = static_cast<uint8_t>(engine.minor);
    return kResultOk;
}
