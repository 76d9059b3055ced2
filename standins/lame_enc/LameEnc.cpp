// SPDX-License-Identifier: GPL-3.0-or-later
// The MP3 encoder library: the be* entry points over libmp3lame, constant bitrate only. A long
// stream is encoded on every core (SegmentedStream).
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "InfoFrame.h"
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
    uint32_t chunkValues = 0;        // 16-bit values per chunk, all channels together
    uint32_t bufferSize = 0;         // what the caller's output buffer holds
    uint32_t encoderBytes = 0;       // what the encoder may put into it at one call
    std::vector<uint8_t> infoFrame;  // goes out before the encoder's first bytes
    bool flushed = false;
};

// The placeholder Info frame first, once, then what the encoder gives.
template <typename Call>
bool Deliver(Stream& state, uint8_t* output, uint32_t* outputBytes, Call call) {
    const auto head = static_cast<uint32_t>(state.infoFrame.size());
    std::copy(state.infoFrame.begin(), state.infoFrame.end(), output);
    uint32_t produced = 0;
    if (!call(output + head, state.encoderBytes, &produced)) {
        return false;
    }
    state.infoFrame.clear();
    *outputBytes = head + produced;
    return true;
}

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
    // libmp3lame takes its rates as int: a larger one would wrap to a rate never asked for.
    if (config->kind != 0 || config->mode > 3 || config->sampleRate == 0 ||
        config->sampleRate > static_cast<uint32_t>(std::numeric_limits<int>::max())) {
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
    // A resampled stream takes half a frame's worth of input, so that the caller's two chunks of
    // silence and a last chunk padded with silence stay within the 4,095 samples that the Info
    // frame can name as padding.
    const int frameSize = lame_get_framesize(encoder.get());
    const bool resampled = settings.outputRate != settings.inputRate;
    const uint32_t chunkFrames =
        resampled ? std::max<uint32_t>(1, static_cast<uint32_t>(frameSize / 2 * settings.inputRate /
                                                                settings.outputRate))
                  : static_cast<uint32_t>(frameSize);
    auto state = std::make_unique<Stream>();
    state->chunkValues = chunkFrames * static_cast<uint32_t>(settings.channels);
    state->bufferSize = BufferSizeFor(chunkFrames, config->sampleRate, *outputRate);
    // libmp3lame's resampler is centred: the delay is the encoder's alone.
    const int delay = lame_get_encoder_delay(encoder.get());
    state->infoFrame = lamestandin::PlaceholderInfoFrame(settings, encoder.get(), delay);
    // A resampler's state cannot be warmed up on the frame grid, so resampled streams stay with
    // one encoder, as do all streams when SONVERT_MP3_THREADS is 1.
    if (standins::ThreadsFromEnvironment(kThreadsVariable) == 1 || resampled) {
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
    state->encoderBytes = state->bufferSize;
    state->bufferSize += lamestandin::kMostInfoFrameBytes;
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
    const bool encoded = Deliver(
        *state, output, outputBytes, [&](uint8_t* into, uint32_t capacity, uint32_t* produced) {
            return state->encoder->Encode(samples, sampleCount, into, capacity, produced);
        });
    return encoded ? kResultOk : kResultEncoderFailure;
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
    const bool finished = Deliver(*state, output, outputBytes,
                                  [&](uint8_t* into, uint32_t capacity, uint32_t* produced) {
                                      return state->encoder->Finish(into, capacity, produced);
                                  });
    return finished ? kResultOk : kResultEncoderFailure;
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
