// SPDX-License-Identifier: GPL-3.0-or-later
// One WMA stream cut into segments of a fixed number of frames, encoded on the process's pool and
// handed on in order: the packets are those of one encoder, byte for byte, whatever the number of
// threads.
//
// The wmav2 encoder keeps nothing from frame to frame but the overlap of its transform: it has no
// bit reservoir and no block switching. A segment's encoder therefore starts one frame early, on
// the last frame of the segment before; the packet of that frame is the only one that differs from
// one encoder's, and it is dropped. The frame replaces the whole overlap, so an encoder that has
// ended one segment serves any other.
//
// The first segment is encoded on the caller's thread as its frames come, the others on the pool.
// A stream of up to two segments keeps that one encoder throughout and never goes to the pool. The
// caller waits before gathering a segment while the stream's share of the threads is busy, so that
// the samples held are those of about one segment per thread.
//
// A stream that finds another of the library's streams open at a segment's end leaves the pool:
// the encoder that has had every frame so far takes the rest on the caller's thread, so streams
// converted side by side cost what single encoders cost.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "WorkerPool.h"

namespace wmastandin {

struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
using Codec = std::unique_ptr<AVCodecContext, CodecFree>;

constexpr int kOutputRate = 44100;
constexpr int kOutputChannels = 2;

// An opened wmav2 encoder for 44,100 Hz stereo at `bitrate`; null when FFmpeg refuses.
Codec NewEncoder(int64_t bitrate, bool globalHeader);

// Takes the stream's packets in order (the muxer); false when one could not be written.
using PacketSink = std::function<bool(AVPacket* packet)>;

class SegmentedEncoder {
  public:
    // Each segment after the first costs one frame more of work.
    static constexpr int kSegmentFrames = 32;
    // A stream keeps at most this many threads busy.
    static constexpr int kMostThreadsPerStream = 32;

    // `first` is an encoder made with `bitrate` and `globalHeader`, for the first segment. With
    // no pool, it encodes the whole stream.
    // `crowded` tells, at each segment's end, whether other streams are being encoded: from then
    // on one encoder on the caller's thread takes the rest.
    SegmentedEncoder(Codec first, int64_t bitrate, bool globalHeader, standins::WorkerPool* pool,
                     PacketSink sink, std::function<bool()> crowded = {});
    // Waits for the stream's segments still on the pool.
    ~SegmentedEncoder();
    SegmentedEncoder(const SegmentedEncoder&) = delete;
    SegmentedEncoder& operator=(const SegmentedEncoder&) = delete;

    // One whole frame of planar float samples, its pts set.
    bool Encode(const AVFrame* frame);
    // Ends the stream: the segments still out are encoded and handed on.
    bool Finish();

    struct Segment;

  private:
    bool EncodeFirst(const AVFrame* frame);
    // Sends the gathered segment to the pool and starts the next on its last frame.
    void Dispatch(bool last);
    // Hands on the finished segments at the front, first waiting until no more than `mayRemain`
    // are left; false once a segment has failed.
    bool Collect(std::size_t mayRemain);
    // Ends the stream's use of the pool; the gathered frames go to the encoder that is where the
    // stream is.
    bool GoAlone();
    // Encodes the gathered frames after the first with the first encoder.
    void EncodeGatheredRest();

    const int64_t bitrate_;
    const bool globalHeader_;
    const int frameSize_;
    standins::WorkerPool* const pool_;
    const std::size_t threads_;
    PacketSink sink_;
    std::function<bool()> crowded_;
    bool alone_ = false;

    Codec first_;  // the first segment's encoder; null once a segment has gone to the pool
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;  // a frame of gathered samples for the first encoder
    int64_t frames_ = 0;        // frames given
    std::shared_ptr<Segment> gathering_;
    std::deque<std::shared_ptr<Segment>> queue_;  // on the pool or done, in stream order
    bool failed_ = false;

    std::mutex mutex_;  // guards `idle_`, the segments' `done` and what the pool wrote before it
    // Encoders between segments, with the thread that ran each last.
    std::vector<std::pair<std::thread::id, Codec>> idle_;
    std::vector<std::vector<float>> spare_;  // storage of segments that are done
    std::condition_variable finished_;
};

}  // namespace wmastandin
