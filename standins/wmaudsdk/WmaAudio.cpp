// SPDX-License-Identifier: GPL-3.0-or-later
// The WMA library: an audio writer object that encodes 16-bit PCM with FFmpeg's WMA version 2
// encoder and writes a standard ASF (.wma) file, always at 44,100 Hz stereo. The resampling stays
// on the caller's thread; a long file is encoded on every core (SegmentedEncoder).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "ProductVersion.h"
#include "SegmentedEncoder.h"
#include "WmaAudioApi.h"
#include "WorkerPool.h"

SONVERT_PRODUCT_VERSION(4, 0, 0, 1);

namespace {

constexpr WmaResult kOk = 0;
constexpr WmaResult kNotImplemented = static_cast<WmaResult>(0x80004001u);
constexpr WmaResult kNoInterface = static_cast<WmaResult>(0x80004002u);
constexpr WmaResult kPointer = static_cast<WmaResult>(0x80004003u);
constexpr WmaResult kFail = static_cast<WmaResult>(0x80004005u);
constexpr WmaResult kUnexpected = static_cast<WmaResult>(0x8000FFFFu);
constexpr WmaResult kOutOfMemory = static_cast<WmaResult>(0x8007000Eu);
constexpr WmaResult kInvalidArgument = static_cast<WmaResult>(0x80070057u);

using wmastandin::kOutputChannels;
using wmastandin::kOutputRate;
// The range in which the encoder gives the asked bitrate; outside it FFmpeg refuses or clamps.
constexpr uint32_t kMinBitrate = 24000;
constexpr uint32_t kMaxBitrate = 320000;
// The input rates the resampler takes. Below the lowest, each input sample would become more than
// 44 output samples: nothing audible is left to encode, and the samples of one block outgrow any
// sensible memory.
constexpr uint32_t kMinInputRate = 1000;
constexpr uint32_t kMaxInputRate = 768000;
// Output samples that one call of the resampler makes at most: memory stays bounded whatever the
// size of the block written.
constexpr int kMostResampled = 1 << 13;

std::string Utf8(const char16_t* text) {
    std::string result;
    for (; *text != 0; ++text) {
        uint32_t code = *text;
        if (code >= 0xD800 && code < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(text[1]) - 0xDC00);
            ++text;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;  // a lone surrogate
        }
        if (code < 0x80) {
            result += static_cast<char>(code);
        } else if (code < 0x800) {
            result += static_cast<char>(0xC0 | (code >> 6));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            result += static_cast<char>(0xE0 | (code >> 12));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            result += static_cast<char>(0xF0 | (code >> 18));
            result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return result;
}

// Writers open in the process.
std::atomic<int> openWriters{0};

class Writer {
  public:
    explicit Writer(std::string path) : path_(std::move(path)) {
        base_.table = &kTable;
        ++openWriters;
    }
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    static Writer* From(WmaAudioWriter* self) { return reinterpret_cast<Writer*>(self); }
    WmaAudioWriter* Interface() { return &base_; }

    WmaResult Create();
    WmaResult SetAttribute(const char16_t* name, const char16_t* value);
    WmaResult SetInputFormat(const WmaWaveFormat* format);
    WmaResult SetOutputFormat(uint32_t bitrate, uint32_t sampleRate, uint32_t channels,
                              uint32_t flags);
    WmaResult Write(const uint8_t* data, uint32_t size);
    WmaResult Finish();

    uint32_t AddRef() { return ++references_; }
    uint32_t Release() {
        const uint32_t left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  private:
    static const WmaAudioWriterTable kTable;

    WmaResult Prime();
    WmaResult Resample(const uint8_t* data, int frames);
    WmaResult EncodeFullFrames(bool padLast);
    WmaResult Send(const AVFrame* frame);
    bool Mux(AVPacket* packet);
    void Discard();

    // Must stay the first member: the caller sees the object as its interface table pointer.
    WmaAudioWriter base_{};
    std::atomic<uint32_t> references_{1};
    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVStream* stream_ = nullptr;
    std::unique_ptr<wmastandin::SegmentedEncoder> encoder_;
    int frameSize_ = 0;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    uint8_t** converted_ = nullptr;
    int convertedCapacity_ = 0;
    AVDictionary* metadata_ = nullptr;
    WmaWaveFormat input_{};
    bool hasInput_ = false;
    bool started_ = false;  // the file's header is written
    bool finished_ = false;
    std::vector<uint8_t> partial_;  // the bytes of a sample frame cut by a block's end
    int64_t nextPts_ = 0;
};

const WmaAudioWriterTable Writer::kTable = {
    [](WmaAudioWriter*, const void*, void** object) -> WmaResult {
        if (object != nullptr) {
            *object = nullptr;
        }
        return kNoInterface;
    },
    [](WmaAudioWriter* self) { return From(self)->AddRef(); },
    [](WmaAudioWriter* self) { return From(self)->Release(); },
    [](WmaAudioWriter* self, const char16_t* name, const char16_t* value) {
        return From(self)->SetAttribute(name, value);
    },
    [](WmaAudioWriter* self, const WmaWaveFormat* format) {
        return From(self)->SetInputFormat(format);
    },
    [](WmaAudioWriter* self, uint32_t bitrate, uint32_t sampleRate, uint32_t channels,
       uint32_t flags) {
        return From(self)->SetOutputFormat(bitrate, sampleRate, channels, flags);
    },
    [](WmaAudioWriter*, uint32_t enabled) { return enabled == 0 ? kOk : kNotImplemented; },
    [](WmaAudioWriter* self, const uint8_t* data, uint32_t size) {
        return From(self)->Write(data, size);
    },
    [](WmaAudioWriter* self) { return From(self)->Finish(); },
};

Writer::~Writer() {
    encoder_.reset();  // its segments on the pool end first
    --openWriters;
    if (format_ != nullptr && format_->pb != nullptr) {
        avio_closep(&format_->pb);
        if (!started_) {
            // Nothing was ever configured: do not leave an empty file behind.
            std::remove(path_.c_str());
        }
    }
    avformat_free_context(format_);
    swr_free(&resampler_);
    if (fifo_ != nullptr) {
        av_audio_fifo_free(fifo_);
    }
    av_frame_free(&frame_);
    if (converted_ != nullptr) {
        av_freep(&converted_[0]);
        av_freep(&converted_);
    }
    av_dict_free(&metadata_);
}

WmaResult Writer::Create() {
    if (avformat_alloc_output_context2(&format_, nullptr, "asf", nullptr) < 0) {
        return kOutOfMemory;
    }
    // "file:" keeps a colon in the path from being read as a protocol name.
    if (avio_open(&format_->pb, ("file:" + path_).c_str(), AVIO_FLAG_WRITE) < 0) {
        return kFail;
    }
    return kOk;
}

WmaResult Writer::SetAttribute(const char16_t* name, const char16_t* value) {
    if (name == nullptr || value == nullptr) {
        return kPointer;
    }
    if (started_) {
        return kUnexpected;
    }
    const std::string key = Utf8(name);
    const char* field = nullptr;
    if (key == "Title") {
        field = "title";
    } else if (key == "Author") {
        field = "author";
    } else if (key == "Copyright") {
        field = "copyright";
    } else if (key == "Description") {
        field = "comment";
    } else {
        return kInvalidArgument;
    }
    return av_dict_set(&metadata_, field, Utf8(value).c_str(), 0) < 0 ? kOutOfMemory : kOk;
}

WmaResult Writer::SetInputFormat(const WmaWaveFormat* format) {
    if (format == nullptr) {
        return kPointer;
    }
    if (started_) {
        return kUnexpected;
    }
    const bool valid = format->formatTag == 1 && (format->channels == 1 || format->channels == 2) &&
                       format->bitsPerSample == 16 && format->blockAlign == format->channels * 2 &&
                       format->samplesPerSec >= kMinInputRate &&
                       format->samplesPerSec <= kMaxInputRate &&
                       format->avgBytesPerSec == format->samplesPerSec * format->blockAlign;
    if (!valid) {
        return kInvalidArgument;
    }
    input_ = *format;
    hasInput_ = true;
    return kOk;
}

WmaResult Writer::SetOutputFormat(uint32_t bitrate, uint32_t sampleRate, uint32_t channels,
                                  uint32_t flags) {
    if (!hasInput_ || started_) {
        return kUnexpected;
    }
    if (sampleRate != kOutputRate || channels != kOutputChannels || flags != 0 ||
        bitrate < kMinBitrate || bitrate > kMaxBitrate) {
        return kInvalidArgument;
    }
    const bool globalHeader = (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    wmastandin::Codec codec = wmastandin::NewEncoder(bitrate, globalHeader);
    if (!codec) {
        return kInvalidArgument;
    }
    frameSize_ = codec->frame_size;

    AVChannelLayout inputLayout{};
    av_channel_layout_default(&inputLayout, input_.channels);
    const int made = swr_alloc_set_opts2(&resampler_, &codec->ch_layout, AV_SAMPLE_FMT_FLTP,
                                         kOutputRate, &inputLayout, AV_SAMPLE_FMT_S16,
                                         static_cast<int>(input_.samplesPerSec), 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    if (made < 0) {
        return kOutOfMemory;
    }
    if (input_.channels == 1) {
        // The default mix puts a mono source 3 dB down on each side; a mono recording should
        // sound as loud on both speakers as it was.
        const double both[2] = {1.0, 1.0};
        if (swr_set_matrix(resampler_, both, 1) < 0) {
            return kFail;
        }
    }
    if (swr_init(resampler_) < 0) {
        return kFail;
    }
    fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, kOutputChannels, frameSize_ * 4);
    frame_ = av_frame_alloc();
    if (fifo_ == nullptr || frame_ == nullptr) {
        return kOutOfMemory;
    }
    frame_->nb_samples = frameSize_;
    frame_->format = AV_SAMPLE_FMT_FLTP;
    frame_->sample_rate = kOutputRate;
    if (av_channel_layout_copy(&frame_->ch_layout, &codec->ch_layout) < 0 ||
        av_frame_get_buffer(frame_, 0) < 0) {
        return kOutOfMemory;
    }

    stream_ = avformat_new_stream(format_, nullptr);
    if (stream_ == nullptr || avcodec_parameters_from_context(stream_->codecpar, codec.get()) < 0) {
        return kOutOfMemory;
    }
    stream_->time_base = codec->time_base;
    av_dict_copy(&format_->metadata, metadata_, 0);
    if (avformat_write_header(format_, nullptr) < 0) {
        return kFail;
    }
    // SONVERT_WMA_THREADS=1 keeps one encoder on the caller's thread, as for a short file.
    static standins::WorkerPool processPool(standins::PoolThreads("SONVERT_WMA_THREADS"),
                                            "sonvert-wma");
    standins::WorkerPool* pool =
        standins::ThreadsFromEnvironment("SONVERT_WMA_THREADS") == 1 ? nullptr : &processPool;
    encoder_ = std::make_unique<wmastandin::SegmentedEncoder>(
        std::move(codec), bitrate, globalHeader, pool,
        [this](AVPacket* packet) { return Mux(packet); }, [] { return openWriters.load() > 1; });
    started_ = true;
    return Prime();
}

WmaResult Writer::Prime() {
    // FFmpeg's decoder gives nothing for a stream's first frame: it only fills the transform's
    // overlap. A frame of silence in front makes that the frame it drops, so decoding starts with
    // the first sample written and a file shorter than a frame still decodes to something.
    if (av_frame_make_writable(frame_) < 0) {
        return kOutOfMemory;
    }
    av_samples_set_silence(frame_->data, 0, frameSize_, kOutputChannels, AV_SAMPLE_FMT_FLTP);
    frame_->pts = nextPts_;
    nextPts_ += frameSize_;
    return Send(frame_);
}

WmaResult Writer::Write(const uint8_t* data, uint32_t size) {
    if (!started_ || finished_) {
        return kUnexpected;
    }
    if (size == 0) {
        return kOk;
    }
    if (data == nullptr) {
        return kPointer;
    }
    const uint32_t frameBytes = input_.blockAlign;
    if (!partial_.empty()) {
        // Complete the sample frame the previous block cut in two.
        const uint32_t missing = frameBytes - static_cast<uint32_t>(partial_.size());
        const uint32_t taken = std::min(missing, size);
        partial_.insert(partial_.end(), data, data + taken);
        data += taken;
        size -= taken;
        if (partial_.size() < frameBytes) {
            return kOk;
        }
        WmaResult result = Resample(partial_.data(), 1);
        if (result >= 0) {
            result = EncodeFullFrames(false);
        }
        partial_.clear();
        if (result < 0) {
            return result;
        }
    }
    const uint32_t whole = size / frameBytes;
    // Pieces that the resampler turns into at most kMostResampled samples, each encoded before
    // the next: what is held stays small whatever the block's size and the rate.
    const auto piece = static_cast<uint32_t>(
        std::max<int64_t>(1, int64_t{kMostResampled} * input_.samplesPerSec / kOutputRate));
    for (uint32_t done = 0; done < whole;) {
        const uint32_t frames = std::min(piece, whole - done);
        WmaResult result = Resample(data + done * frameBytes, static_cast<int>(frames));
        if (result >= 0) {
            result = EncodeFullFrames(false);
        }
        if (result < 0) {
            return result;
        }
        done += frames;
    }
    partial_.assign(data + whole * frameBytes, data + size);
    return kOk;
}

WmaResult Writer::Resample(const uint8_t* data, int frames) {
    const int capacity = swr_get_out_samples(resampler_, frames);
    if (capacity < 0) {
        return kFail;
    }
    if (capacity > convertedCapacity_) {
        if (converted_ != nullptr) {
            av_freep(&converted_[0]);
            av_freep(&converted_);
        }
        convertedCapacity_ = 0;
        if (av_samples_alloc_array_and_samples(&converted_, nullptr, kOutputChannels, capacity,
                                               AV_SAMPLE_FMT_FLTP, 0) < 0) {
            return kOutOfMemory;
        }
        convertedCapacity_ = capacity;
    }
    const uint8_t* planes[1] = {data};
    const int made = swr_convert(resampler_, converted_, convertedCapacity_,
                                 data == nullptr ? nullptr : planes, frames);
    if (made < 0) {
        return kFail;
    }
    if (made > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted_), made) < made) {
        return kOutOfMemory;
    }
    return kOk;
}

WmaResult Writer::EncodeFullFrames(bool padLast) {
    const int frameSize = frameSize_;
    while (av_audio_fifo_size(fifo_) >= frameSize || (padLast && av_audio_fifo_size(fifo_) > 0)) {
        if (av_frame_make_writable(frame_) < 0) {
            return kOutOfMemory;
        }
        const int read =
            av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), frameSize);
        if (read < 0) {
            return kFail;
        }
        if (read < frameSize) {
            // The encoder takes whole frames only: the last one is completed with silence.
            av_samples_set_silence(frame_->data, read, frameSize - read, kOutputChannels,
                                   AV_SAMPLE_FMT_FLTP);
        }
        frame_->pts = nextPts_;
        nextPts_ += frameSize;
        const WmaResult result = Send(frame_);
        if (result < 0) {
            return result;
        }
    }
    return kOk;
}

WmaResult Writer::Send(const AVFrame* frame) {
    if (frame == nullptr) {
        return encoder_->Finish() ? kOk : kFail;
    }
    return encoder_->Encode(frame) ? kOk : kFail;
}

bool Writer::Mux(AVPacket* packet) {
    av_packet_rescale_ts(packet, AVRational{1, kOutputRate}, stream_->time_base);
    packet->stream_index = stream_->index;
    return av_interleaved_write_frame(format_, packet) >= 0;
}

WmaResult Writer::Finish() {
    if (finished_) {
        return kOk;
    }
    if (!started_) {
        return kUnexpected;
    }
    finished_ = true;
    WmaResult result = Resample(nullptr, 0);
    if (result >= 0) {
        result = EncodeFullFrames(true);
    }
    if (result >= 0) {
        result = Send(nullptr);
    }
    if (result >= 0 && av_write_trailer(format_) < 0) {
        result = kFail;
    }
    if (avio_closep(&format_->pb) < 0 && result >= 0) {
        result = kFail;
    }
    return result;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) WmaResult WMAudioCreateWriter(
    const char16_t* path, WmaAudioWriter** writer) {
    if (writer == nullptr) {
        return kPointer;
    }
    *writer = nullptr;
    if (path == nullptr) {
        return kPointer;
    }
    auto* created = new (std::nothrow) Writer(Utf8(path));
    if (created == nullptr) {
        return kOutOfMemory;
    }
    const WmaResult result = created->Create();
    if (result < 0) {
        created->Release();
        return result;
    }
    *writer = created->Interface();
    return kOk;
}
