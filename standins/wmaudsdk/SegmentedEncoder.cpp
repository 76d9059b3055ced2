// SPDX-License-Identifier: GPL-3.0-or-later
#include "SegmentedEncoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cstring>
#include <thread>

namespace wmastandin {

struct SegmentedEncoder::Segment {
    // Whole frames one after another, each one channel after the other; the first is the last
    // frame of the segment before, on which the encoder starts.
    std::vector<float> samples;
    int64_t firstPts = 0;  // of that first frame
    bool last = false;
    std::vector<AVPacket*> packets;
    // The encoder after the segment's last frame, and the thread that ran it.
    Codec codec;
    std::thread::id thread;
    bool ok = false;
    bool done = false;

    Segment() = default;
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;
    ~Segment() {
        for (AVPacket*& packet : packets) {
            av_packet_free(&packet);
        }
    }
};

namespace {

// A writable frame of the encoder's size and format.
AVFrame* NewFrame(int frameSize) {
    AVFrame* frame = av_frame_alloc();
    if (frame == nullptr) {
        return nullptr;
    }
    frame->nb_samples = frameSize;
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = kOutputRate;
    av_channel_layout_default(&frame->ch_layout, kOutputChannels);
    if (av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
    }
    return frame;
}

// Sends a frame (null: the end) and hands each packet it gives to `take`.
template <typename Take>
bool SendFrame(AVCodecContext* codec, const AVFrame* frame, AVPacket* packet, Take&& take) {
    if (avcodec_send_frame(codec, frame) < 0) {
        return false;
    }
    for (;;) {
        const int received = avcodec_receive_packet(codec, packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return true;
        }
        if (received < 0 || !take(packet)) {
            return false;
        }
    }
}

// `codec` may have encoded another part of the stream before: the first frame replaces all that
// it keeps.
bool EncodeSegment(AVCodecContext* codec, int frameSize, SegmentedEncoder::Segment& segment) {
    AVFrame* frame = NewFrame(frameSize);
    AVPacket* packet = av_packet_alloc();
    bool ok = frame != nullptr && packet != nullptr;
    bool primed = false;
    auto keep = [&](AVPacket* made) {
        // The first frame's packet is the encoder's own start, not the stream's: dropped.
        if (!primed) {
            primed = true;
            av_packet_unref(made);
            return true;
        }
        AVPacket* kept = av_packet_alloc();
        if (kept == nullptr) {
            return false;
        }
        av_packet_move_ref(kept, made);
        segment.packets.push_back(kept);
        return true;
    };
    const std::size_t frameValues = static_cast<std::size_t>(frameSize) * kOutputChannels;
    const std::size_t frames = segment.samples.size() / frameValues;
    for (std::size_t i = 0; i < frames && ok; ++i) {
        ok = av_frame_make_writable(frame) >= 0;
        for (int c = 0; c < kOutputChannels && ok; ++c) {
            std::memcpy(
                frame->data[c],
                segment.samples.data() + i * frameValues + static_cast<std::size_t>(c * frameSize),
                sizeof(float) * static_cast<std::size_t>(frameSize));
        }
        frame->pts = segment.firstPts + static_cast<int64_t>(i) * frameSize;
        ok = ok && SendFrame(codec, frame, packet, keep);
    }
    if (ok && segment.last) {
        ok = SendFrame(codec, nullptr, packet, keep);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    return ok;
}

}  // namespace

Codec NewEncoder(int64_t bitrate, bool globalHeader) {
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (encoder == nullptr) {
        return nullptr;
    }
    Codec codec(avcodec_alloc_context3(encoder));
    if (!codec) {
        return nullptr;
    }
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->sample_rate = kOutputRate;
    av_channel_layout_default(&codec->ch_layout, kOutputChannels);
    codec->bit_rate = bitrate;
    codec->time_base = AVRational{1, kOutputRate};
    if (globalHeader) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (avcodec_open2(codec.get(), encoder, nullptr) < 0) {
        return nullptr;
    }
    return codec;
}

SegmentedEncoder::SegmentedEncoder(Codec first, int64_t bitrate, bool globalHeader,
                                   standins::WorkerPool* pool, PacketSink sink,
                                   std::function<bool()> crowded)
    : bitrate_(bitrate),
      globalHeader_(globalHeader),
      frameSize_(first->frame_size),
      pool_(pool),
      threads_(pool == nullptr
                   ? 0
                   : static_cast<std::size_t>(std::min(pool->Threads(), kMostThreadsPerStream))),
      sink_(std::move(sink)),
      crowded_(std::move(crowded)),
      first_(std::move(first)),
      packet_(av_packet_alloc()),
      frame_(NewFrame(frameSize_)) {
    failed_ = packet_ == nullptr || frame_ == nullptr;
}

SegmentedEncoder::~SegmentedEncoder() {
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [this] {
            return std::all_of(
                queue_.begin(), queue_.end(),
                [](const std::shared_ptr<Segment>& segment) { return segment->done; });
        });
    }
    av_packet_free(&packet_);
    av_frame_free(&frame_);
}

bool SegmentedEncoder::EncodeFirst(const AVFrame* frame) {
    return SendFrame(first_.get(), frame, packet_, sink_);
}

bool SegmentedEncoder::Encode(const AVFrame* frame) {
    if (failed_) {
        return false;
    }
    const auto frameValues = static_cast<std::size_t>(frameSize_) * kOutputChannels;
    if (pool_ == nullptr || frames_ < kSegmentFrames || alone_) {
        failed_ = !EncodeFirst(frame);
        if (!failed_ && pool_ != nullptr) {
            if (frames_ == kSegmentFrames - 1) {
                // The next segment starts on this frame.
                gathering_ = std::make_shared<Segment>();
                gathering_->samples.reserve(frameValues * (kSegmentFrames + 1));
                gathering_->firstPts = frame->pts;
            }
        }
        ++frames_;
        if (gathering_ == nullptr) {
            return !failed_;
        }
    } else {
        if (gathering_->samples.size() == frameValues * (kSegmentFrames + 1)) {
            if (crowded_ && crowded_()) {
                // Another stream is being encoded: the pool's threads would only take turns with
                // it. One encoder carries on from here, the one that is where the stream is.
                return GoAlone() && Encode(frame);
            }
            if (first_) {
                // The stream is longer than two segments: from here on the pool encodes, and the
                // first encoder serves it like any other.
                std::lock_guard lock(mutex_);
                idle_.emplace_back(std::this_thread::get_id(), std::move(first_));
            }
            Dispatch(false);
            if (!Collect(threads_)) {
                return false;
            }
        }
        ++frames_;
    }
    for (int c = 0; c < kOutputChannels; ++c) {
        const auto* plane = reinterpret_cast<const float*>(frame->data[c]);
        gathering_->samples.insert(gathering_->samples.end(), plane, plane + frameSize_);
    }
    return !failed_;
}

bool SegmentedEncoder::Finish() {
    if (failed_) {
        return false;
    }
    if (first_) {
        // No longer than two segments, or alone: the first encoder takes the rest, as one encoder
        // takes a whole stream. It has had the gathered segment's first frame already.
        EncodeGatheredRest();
        gathering_.reset();
        failed_ = failed_ || !EncodeFirst(nullptr);
        first_.reset();
        return !failed_;
    }
    Dispatch(true);
    return Collect(0);
}

void SegmentedEncoder::Dispatch(bool last) {
    std::shared_ptr<Segment> segment = std::move(gathering_);
    segment->last = last;
    if (!last) {
        const auto frameValues = static_cast<std::size_t>(frameSize_) * kOutputChannels;
        gathering_ = std::make_shared<Segment>();
        {
            std::lock_guard lock(mutex_);
            if (!spare_.empty()) {
                gathering_->samples = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        gathering_->samples.reserve(frameValues * (kSegmentFrames + 1));
        gathering_->samples.assign(
            segment->samples.end() - static_cast<std::ptrdiff_t>(frameValues),
            segment->samples.end());
        gathering_->firstPts =
            segment->firstPts + static_cast<int64_t>(kSegmentFrames) * frameSize_;
    }
    queue_.push_back(segment);
    pool_->Submit([this, segment] {
        // Opening an encoder costs as much as encoding a few frames: a segment takes one that an
        // earlier segment of the stream has left.
        // The thread's own encoder when it is idle: an encoder's tables and buffers that move to
        // another processor's cache cost more than the segment's samples do.
        const std::thread::id self = std::this_thread::get_id();
        Codec codec;
        {
            std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                auto mine = std::find_if(idle_.begin(), idle_.end(),
                                         [&](const auto& entry) { return entry.first == self; });
                if (mine == idle_.end()) {
                    mine = idle_.begin();
                }
                codec = std::move(mine->second);
                idle_.erase(mine);
            }
        }
        if (!codec) {
            codec = NewEncoder(bitrate_, globalHeader_);
        }
        const bool ok = codec && EncodeSegment(codec.get(), frameSize_, *segment);
        segment->samples.clear();
        std::lock_guard lock(mutex_);
        if (spare_.size() < threads_ + 1) {
            spare_.push_back(std::move(segment->samples));
        }
        if (ok && !segment->last) {
            segment->codec = std::move(codec);
            segment->thread = self;
        }
        segment->ok = ok;
        segment->done = true;
        finished_.notify_all();
    });
}

void SegmentedEncoder::EncodeGatheredRest() {
    // The first encoder has had the gathered frames' first frame already.
    const std::shared_ptr<Segment> segment = std::move(gathering_);
    const auto frameValues = static_cast<std::size_t>(frameSize_) * kOutputChannels;
    const std::size_t frames = segment ? segment->samples.size() / frameValues : 0;
    for (std::size_t i = 1; i < frames && !failed_; ++i) {
        failed_ = av_frame_make_writable(frame_) < 0;
        for (int c = 0; c < kOutputChannels && !failed_; ++c) {
            std::memcpy(frame_->data[c],
                        segment->samples.data() + i * frameValues +
                            static_cast<std::size_t>(c * frameSize_),
                        sizeof(float) * static_cast<std::size_t>(frameSize_));
        }
        frame_->pts = segment->firstPts + static_cast<int64_t>(i) * frameSize_;
        failed_ = failed_ || !EncodeFirst(frame_);
    }
}

bool SegmentedEncoder::GoAlone() {
    alone_ = true;
    if (!first_) {
        // The segment collected last left the encoder that has had every frame before the one
        // gathered, which it also had: it takes the gathered frames after that one.
        if (!Collect(0)) {
            return false;
        }
        std::lock_guard lock(mutex_);
        first_ = std::move(idle_.back().second);
        idle_.clear();
        spare_.clear();
    }
    EncodeGatheredRest();
    return !failed_;
}

bool SegmentedEncoder::Collect(std::size_t mayRemain) {
    while (!queue_.empty() && !failed_) {
        {
            std::unique_lock lock(mutex_);
            Segment& front = *queue_.front();
            if (!front.done && queue_.size() <= mayRemain) {
                break;
            }
            finished_.wait(lock, [&front] { return front.done; });
        }
        Segment& front = *queue_.front();
        failed_ = !front.ok;
        for (AVPacket* packet : front.packets) {
            failed_ = failed_ || !sink_(packet);
        }
        if (front.codec) {
            std::lock_guard lock(mutex_);
            idle_.emplace_back(front.thread, std::move(front.codec));
        }
        queue_.pop_front();
    }
    return !failed_;
}

}  // namespace wmastandin
