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

#include "SegmentedVorbis.h"
#include "StreamTable.h"
#include "VorbisEncApi.h"
#include "VorbisEncoder.h"
#include "WorkerPool.h"

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

constexpr const char* kThreadsVariable = "SONVERT_OGG_THREADS";

// The pool of the process; the library stays loaded once loaded, and the pool with it.
standins::WorkerPool& Pool() {
    static standins::WorkerPool pool(standins::PoolThreads(kThreadsVariable), "sonvert-ogg");
    return pool;
}

// Streams open in the process.
std::atomic<int> openStreams{0};

struct Stream {
    explicit Stream(int serial) : muxer(serial) {
        vorbis_comment_init(&comment);
        ++openStreams;
    }
    ~Stream() {
        segmented.reset();
        vorbis_comment_clear(&comment);
        --openStreams;
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    vorbis_comment comment{};
    vorbisstandin::OggMuxer muxer;
    std::unique_ptr<vorbisstandin::Encoder> single;  // one encoder, or else
    std::unique_ptr<vorbisstandin::SegmentedVorbis> segmented;
    uint32_t channels = 0;
    uint32_t chunkValues = 0;
    uint32_t bufferSize = 0;
    // A stereo value whose partner has not arrived yet, and the frames it begins.
    bool hasPendingValue = false;
    int16_t pendingValue = 0;
    std::vector<int16_t> joined;
    bool closed = false;

    bool Write(const int16_t* values, std::size_t frames) {
        if (single) {
            return single->Write(values, frames);
        }
        return segmented->Write(values, frames);
    }
    bool End() { return single ? single->End() : segmented->Finish(); }

    // Pages the packets that are final.
    void Mux() {
        std::deque<vorbisstandin::Packet>& packets = single ? single->packets : segmented->ready;
        for (const vorbisstandin::Packet& packet : packets) {
            muxer.Put(packet);
        }
        packets.clear();
    }

    // Moves queued bytes into the caller's buffer; false when some had to stay behind.
    bool Deliver(uint8_t* output, uint32_t* outputBytes) {
        std::vector<uint8_t>& pending = muxer.pending;
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
    auto state = std::make_unique<Stream>(SerialNumber());
    state->channels = settings->channels;
    // Quality level n of the caller (0.1 × n) is the encoder's own quality n: the same scale
    // that oggenc -q n uses.
    const vorbisstandin::Settings encoding{static_cast<int>(settings->channels),
                                           static_cast<long>(settings->sampleRate),
                                           settings->quality};
    auto encoder = std::make_unique<vorbisstandin::Encoder>(encoding, true, 0);
    if (!encoder->Ok()) {
        return kResultInvalidParameter;
    }
    AddComment(state->comment, "TITLE", info->title);
    AddComment(state->comment, "ARTIST", info->artist);
    AddComment(state->comment, "ALBUM", info->album);
    AddComment(state->comment, "COMMENT", info->comment);

    ogg_packet identification;
    ogg_packet comments;
    ogg_packet codebooks;
    encoder->Headers(state->comment, identification, comments, codebooks);
    state->muxer.PutHeader(identification);
    state->muxer.PutHeader(comments);
    state->muxer.PutHeader(codebooks);
    // Audio must begin on a page of its own.
    state->muxer.Flush();

    state->chunkValues = kFramesPerChunk * settings->channels;
    state->bufferSize = state->chunkValues * 2 + kBufferMargin;
    // SONVERT_OGG_THREADS=1 keeps one encoder on the caller's thread, as for a short stream; so
    // does a stream that starts while others are open: the segments cost some 15 % more work,
    // which files converted side by side would pay without gaining. The bytes are the same.
    if (standins::ThreadsFromEnvironment(kThreadsVariable) == 1 || openStreams.load() > 1) {
        state->single = std::move(encoder);
    } else {
        standins::WorkerPool& pool = Pool();
        state->segmented =
            std::make_unique<vorbisstandin::SegmentedVorbis>(encoding, std::move(encoder), pool);
        state->bufferSize = static_cast<uint32_t>(std::min<std::size_t>(
            state->bufferSize + vorbisstandin::SegmentedVorbis::MostOwed(encoding, pool.Threads()),
            UINT32_MAX));
    }
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
    const int16_t* values = samples;
    uint32_t count = sampleCount;
    if (state->channels == 2 && state->hasPendingValue && count > 0) {
        // The frame whose left value came with the previous chunk leads this chunk's frames.
        state->joined.assign(1, state->pendingValue);
        state->joined.insert(state->joined.end(), values, values + count);
        state->hasPendingValue = false;
        values = state->joined.data();
        count += 1;
    }
    const uint32_t frames = count / state->channels;
    if (frames > 0) {
        if (!state->Write(values, frames)) {
            return kResultEncoderFailure;
        }
        state->Mux();
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
    if (!state->End()) {
        return kResultEncoderFailure;
    }
    state->Mux();
    state->muxer.Flush();
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
