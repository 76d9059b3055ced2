// SPDX-License-Identifier: GPL-3.0-or-later
// The MP3 encoder library: the be* entry points over libmp3lame, constant bitrate only. A long
// stream is encoded on every core (SegmentedStream).
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "LameEncApi.h"
#include "Mp3Rates.h"
#include "Mp3Stream.h"
#include "SegmentedStream.h"
#include "StreamTable.h"
#include "WorkerPool.h"

#define LAME_ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The version of this library's own interface, reported beside the engine's.
constexpr const char* kThreadsVariable = "SONVERT_MP3_THREADS";
constexpr uint8_t kInterfaceMajor = 1;
constexpr uint8_t kInterfaceMinor = 32;

constexpr uint32_t kResultOk = 0;
constexpr uint32_t kResultInvalidParameter = 1;
constexpr uint32_t kResultInvalidHandle = 2;
constexpr uint32_t kResultEncoderFailure = 3;

struct Stream {
    std::unique_ptr<lamestandin::Mp3Stream> encoder;
    uint32_t chunkValues = 0;  // 16-bit values per chunk, all channels together
    uint32_t bufferSize = 0;   // what the caller's output buffer holds
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
    lamestandin::Mp3Settings settings;
    settings.channels = config->mode == 3 ? 1 : 2;
    settings.inputRate = static_cast<int>(config->sampleRate);
    settings.outputRate = static_cast<int>(*outputRate);
    settings.mode = ModeFor(config->mode);
    settings.bitrate = config->bitrate;
    settings.crc = config->crc != 0;
    settings.copyright = config->copyright != 0;
    settings.original = config->original != 0;
    settings.privateFlag = config->privateFlag != 0;
    lamestandin::EncoderRefusal refusal = lamestandin::EncoderRefusal::None;
    lamestandin::Lame encoder = lamestandin::NewEncoder(settings, &refusal);
    if (!encoder) {
        return refusal == lamestandin::EncoderRefusal::Memory ? kResultEncoderFailure
                                                              : kResultInvalidParameter;
    }
    // One frame per chunk, for all channels: the caller's silence and padding come in chunks.
    const int frameSize = lame_get_framesize(encoder.get());
    auto state = std::make_unique<Stream>();
    state->chunkValues = static_cast<uint32_t>(frameSize * settings.channels);
    state->bufferSize =
        BufferSizeFor(static_cast<uint32_t>(frameSize), config->sampleRate, *outputRate);
    // A resampler's state cannot be warmed up on the frame grid, so resampled streams stay with
    // one encoder, as do all streams when SONVERT_MP3_THREADS is 1.
    if (standins::ThreadsFromEnvironment(kThreadsVariable) == 1 ||
        settings.outputRate != settings.inputRate) {
        state->encoder =
            std::make_unique<lamestandin::SingleStream>(std::move(encoder), settings.channels);
    } else {
        // The pool of the process; the library stays loaded once loaded, and the pool with it.
        static standins::WorkerPool pool(standins::PoolThreads(kThreadsVariable), "sonvert-mp3");
        state->encoder = std::make_unique<lamestandin::SegmentedStream>(settings, frameSize,
                                                                        std::move(encoder), pool);
        state->bufferSize = std::max(
            state->bufferSize, lamestandin::SegmentedStream::BufferSize(settings, pool.Threads()));
    }
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
    uint32_t produced = 0;
    if (!state->encoder->Encode(samples, sampleCount, output, state->bufferSize, &produced)) {
        return kResultEncoderFailure;
    }
    *outputBytes = produced;
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
    uint32_t produced = 0;
    if (!state->encoder->Finish(output, state->bufferSize, &produced)) {
        return kResultEncoderFailure;
    }
    *outputBytes = produced;
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
