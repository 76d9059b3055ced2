// SPDX-License-Identifier: GPL-3.0-or-later
// The Ogg Vorbis encoder library: the vb* entry points over libvorbisenc and libogg, variable
// bitrate at a quality level.
#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "StreamTable.h"
#include "VorbisEncApi.h"

#define VORBIS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kSettingsMagic = 1024;
constexpr uint32_t kSettingsVersion = 300;

// Samples per channel per chunk.
constexpr uint32_t kFramesPerChunk = 4096;
// Encoded output of one chunk stays far below its PCM size even at the top quality; the margin
// also holds the three header packets, which leave with the first chunk.
constexpr uint32_t kBufferMargin = 65536;

constexpr uint32_t kResultOk = 0;
constexpr uint32_t kResultInvalidParameter = 1;
constexpr uint32_t kResultInvalidHandle = 2;
constexpr uint32_t kResultEncoderFailure = 3;
constexpr uint32_t kResultBufferTooSmall = 4;

struct Stream {
    ogg_stream_state ogg{};
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    bool dspReady = false;
    bool oggReady = false;
    uint32_t channels = 0;
    uint32_t chunkValues = 0;
    uint32_t bufferSize = 0;
    // Pages not yet handed out: the headers, and whatever did not fit a caller's buffer.
    std::vector<uint8_t> pending;
    // A stereo value whose partner has not arrived yet.
    bool hasPendingValue = false;
    int16_t pendingValue = 0;
    bool closed = false;

    Stream() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~Stream() {
        if (oggReady) {
            ogg_stream_clear(&ogg);
        }
        if (dspReady) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    void Queue(const ogg_page& page) {
        pending.insert(pending.end(), page.header, page.header + page.header_len);
        pending.insert(pending.end(), page.body, page.body + page.body_len);
    }

    // Runs the analysis over every block the encoder has complete and queues the full pages.
    void Drain(bool endOfStream) {
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&ogg, &packet);
                ogg_page page;
                while (ogg_stream_pageout(&ogg, &page) != 0) {
                    Queue(page);
                }
            }
        }
        if (endOfStream) {
            ogg_page page;
            while (ogg_stream_flush(&ogg, &page) != 0) {
                Queue(page);
            }
        }
    }

    // Moves queued bytes into the caller's buffer; false when some had to stay behind.
    bool Deliver(uint8_t* output, uint32_t* outputBytes) {
        const std::size_t count = std::min<std::size_t>(pending.size(), bufferSize);
        std::memcpy(output, pending.data(), count);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(count));
        *outputBytes = static_cast<uint32_t>(count);
        return pending.empty();
    }
};

standins::StreamTable<Stream>& Streams() {
    static standins::StreamTable<Stream> table;
    return table;
}

int SerialNumber() {
    // Distinct streams of one process differ even where the device repeats itself.
    static std::atomic<uint32_t> counter{0};
    const uint32_t seed = std::random_device{}() ^ (counter.fetch_add(1) * 0x9E3779B9u);
    return static_cast<int>(seed & 0x7fffffff);
}

bool ValidSettings(const VorbisEncSettings& settings) {
    return settings.magic == kSettingsMagic && settings.size == sizeof(VorbisEncSettings) &&
           settings.version == kSettingsVersion &&
           (settings.channels == 1 || settings.channels == 2) && settings.sampleRate > 0 &&
           std::isfinite(settings.quality) && settings.quality >= 0.0f && settings.quality <= 1.0f;
}

void AddComment(vorbis_comment& comment, const char* tag, const char* text) {
    if (text != nullptr && *text != '\0') {
        vorbis_comment_add_tag(&comment, tag, text);
    }
}

}  // namespace

VORBIS_EXPORT uint32_t vbEncOpen(const VorbisEncSettings* settings, const VorbisStreamInfo* info,
                                 uint32_t* samplesPerChunk, uint32_t* outputBufferSize,
                                 VorbisStream* stream) {
    if (settings == nullptr || info == nullptr || samplesPerChunk == nullptr ||
        outputBufferSize == nullptr || stream == nullptr) {
        return kResultInvalidParameter;
    }
    if (!ValidSettings(*settings) || info->size != sizeof(VorbisStreamInfo)) {
        return kResultInvalidParameter;
    }
    auto state = std::make_unique<Stream>();
    state->channels = settings->channels;
    // Quality level n of the caller (0.1 × n) is the encoder's own quality n: the same scale
    // that oggenc -q n uses.
    if (vorbis_encode_init_vbr(&state->info, static_cast<long>(settings->channels),
                               static_cast<long>(settings->sampleRate), settings->quality) != 0) {
        return kResultInvalidParameter;
    }
    AddComment(state->comment, "TITLE", info->title);
    AddComment(state->comment, "ARTIST", info->artist);
    AddComment(state->comment, "ALBUM", info->album);
    AddComment(state->comment, "COMMENT", info->comment);

    if (vorbis_analysis_init(&state->dsp, &state->info) != 0) {
        return kResultEncoderFailure;
    }
    vorbis_block_init(&state->dsp, &state->block);
    state->dspReady = true;
    ogg_stream_init(&state->ogg, SerialNumber());
    state->oggReady = true;

    ogg_packet identification;
    ogg_packet comments;
    ogg_packet codebooks;
    vorbis_analysis_headerout(&state->dsp, &state->comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&state->ogg, &identification);
    ogg_stream_packetin(&state->ogg, &comments);
    ogg_stream_packetin(&state->ogg, &codebooks);
    // Audio must begin on a page of its own.
    ogg_page page;
    while (ogg_stream_flush(&state->ogg, &page) != 0) {
        state->Queue(page);
    }

    state->chunkValues = kFramesPerChunk * settings->channels;
    state->bufferSize = state->chunkValues * 2 + kBufferMargin;
    *samplesPerChunk = state->chunkValues;
    *outputBufferSize = state->bufferSize;
    *stream = Streams().Add(std::move(state));
    return kResultOk;
}

VORBIS_EXPORT uint32_t vbEncWrite(VorbisStream stream, uint32_t sampleCount, const int16_t* samples,
                                  uint8_t* output, uint32_t* outputBytes) {
    Stream* state = Streams().Find(stream);
    if (state == nullptr) {
        return kResultInvalidHandle;
    }
    if (output == nullptr || outputBytes == nullptr || (samples == nullptr && sampleCount != 0) ||
        sampleCount > state->chunkValues || state->closed) {
        return kResultInvalidParameter;
    }
    *outputBytes = 0;
    constexpr float kScale = 1.0f / 32768.0f;
    const int16_t* values = samples;
    uint32_t count = sampleCount;
    float** buffer = nullptr;
    uint32_t frame = 0;
    if (state->channels == 2 && state->hasPendingValue && count > 0) {
        // Complete the frame whose left value came with the previous chunk.
        buffer = vorbis_analysis_buffer(&state->dsp, static_cast<int>((count + 1) / 2));
        buffer[0][0] = state->pendingValue * kScale;
        buffer[1][0] = values[0] * kScale;
        state->hasPendingValue = false;
        ++values;
        --count;
        frame = 1;
    }
    const uint32_t frames = count / state->channels;
    if (frames > 0 && buffer == nullptr) {
        buffer = vorbis_analysis_buffer(&state->dsp, static_cast<int>(frames));
    }
    if (state->channels == 1) {
        float* mono = buffer == nullptr ? nullptr : buffer[0];
        for (uint32_t i = 0; i < frames; ++i) {
            mono[i] = values[i] * kScale;
        }
    } else if (frames > 0) {
        float* left = buffer[0] + frame;
        float* right = buffer[1] + frame;
        for (uint32_t i = 0; i < frames; ++i) {
            left[i] = values[2 * i] * kScale;
            right[i] = values[2 * i + 1] * kScale;
        }
    }
    const uint32_t written = frame + frames;
    if (written > 0) {
        if (vorbis_analysis_wrote(&state->dsp, static_cast<int>(written)) != 0) {
            return kResultEncoderFailure;
        }
        state->Drain(false);
    }
    if (frames * state->channels < count) {
        state->hasPendingValue = true;
        state->pendingValue = values[count - 1];
    }
    state->Deliver(output, outputBytes);
    return kResultOk;
}

VORBIS_EXPORT uint32_t vbEncClose(VorbisStream stream, uint8_t* output, uint32_t* outputBytes) {
    std::unique_ptr<Stream> state = Streams().Remove(stream);
    if (!state) {
        return kResultInvalidHandle;
    }
    if (output == nullptr || outputBytes == nullptr) {
        return kResultInvalidParameter;
    }
    *outputBytes = 0;
    state->closed = true;
    if (vorbis_analysis_wrote(&state->dsp, 0) != 0) {
        return kResultEncoderFailure;
    }
    state->Drain(true);
    return state->Deliver(output, outputBytes) ? kResultOk : kResultBufferTooSmall;
}

VORBIS_EXPORT uint32_t vbVersion(VorbisVersion* version) {
    if (version == nullptr) {
        return kResultInvalidParameter;
    }
    std::memset(version, 0, sizeof(*version));
    version->libraryMajor = 1;
    version->libraryMinor = 0;
    // The release of the libvorbis we were built against; its run-time version text only names
    // the bitstream ("Vorbis I") and a date.
    version->engineMajor = SONVERT_LIBVORBIS_MAJOR;
    version->engineMinor = SONVERT_LIBVORBIS_MINOR;
    return kResultOk;
}
