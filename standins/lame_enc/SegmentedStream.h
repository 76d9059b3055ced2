// SPDX-License-Identifier: GPL-3.0-or-later
// One MP3 stream cut into segments of a fixed number of frames, each encoded by its own libmp3lame
// encoder on the process's pool and joined into one stream whose frames lie exactly where one
// encoder puts them: the same count, delay and padding. The bytes depend only on the input and
// the settings, never on the number of threads or on timing.
//
// Every segment after the first starts early: its encoder warms up on frames of the segment
// before, empties its bit reservoir and encodes a few more frames that both encoders then have.
// The join takes the frame among those where the two encoders' reservoirs agree best; the bytes
// that the later encoder's frames borrow from before it go into the earlier one's unused
// reservoir, which its end left as padding. Neither side then starts a frame short of bits.
//
// The first segment is encoded on the caller's thread while the stream is gathered, the others
// on the pool; the caller waits before gathering a segment while the stream's share of the
// threads is busy, so that the samples held are those of about one segment per thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "Mp3Frames.h"
#include "Mp3Stream.h"
#include "WorkerPool.h"

namespace lamestandin {

class SegmentedStream final : public Mp3Stream {
  public:
    // Each segment after the first costs kWarmupFrames + kJoinFrames more frames of work.
    static constexpr int kSegmentFrames = 768;
    // libmp3lame spreads bits by the perceptual entropy of the last 19 frames; fewer than that
    // and the frames near the join are not the ones the earlier encoder would give.
    static constexpr int kWarmupFrames = 16;
    // Frames that both encoders give, among which the join is chosen.
    static constexpr int kJoinFrames = 12;
    // A stream keeps at most this many threads busy; beyond it the samples held would outgrow
    // what the threads gain.
    static constexpr int kMostThreadsPerStream = 32;

    // `frameSize`: sample frames per MP3 frame (1152, or 576 below 32,000 Hz). The settings must
    // not resample: a resampler's state cannot be warmed up on the frame grid.
    // `first` is an encoder made from the settings, for the first segment.
    SegmentedStream(const Mp3Settings& settings, int frameSize, Lame first,
                    standins::WorkerPool& pool);
    // Waits for the stream's segments still on the pool.
    ~SegmentedStream() override;

    // The caller's buffer for the most that Finish can owe.
    static uint32_t BufferSize(const Mp3Settings& settings, int threads);

    bool Encode(const int16_t* values, uint32_t count, uint8_t* output, uint32_t capacity,
                uint32_t* produced) override;
    bool Finish(uint8_t* output, uint32_t capacity, uint32_t* produced) override;

    struct Segment;

  private:
    // Frames held back at a segment's end until the next one joins: every frame the join may
    // drop, and enough before them for the most a frame can borrow.
    static constexpr std::size_t kHeldFrames = kJoinFrames + 12;

    // The first segment is encoded on the caller's thread as its values come: a stream of up to
    // two segments keeps that one encoder, as before, and never goes to the pool.
    bool FeedFirst();
    bool FeedFirstValues(const int16_t* values, std::size_t count);
    // Ends the first segment's encoder: at the end of the stream, or after the segment's own
    // frames; the segment then joins the stream like any other.
    bool EndFirst(bool endOfStream);
    // Moves staged values into segments and whole segments to the pool; false once a segment
    // has failed.
    bool Settle();
    // Sends the segment at the front to the pool once it is whole and the frame after it is here;
    // the stream is then longer than two segments, and the first segment's encoder ends.
    bool DispatchFront();
    void Submit(std::shared_ptr<Segment> segment);
    // Joins the finished segments at the front to the stream, first waiting until no more than
    // `mayRemain` are left; false once a segment has failed.
    bool Collect(std::size_t mayRemain);
    bool Join(Segment& segment);
    // Hands on a segment's frames from `from` on, holding back its end unless it is the last.
    void Append(Segment& segment, std::size_t from);
    uint32_t HandBack(uint8_t* output, uint32_t capacity);

    const Mp3Settings settings_;
    const std::size_t frameValues_;    // values in one frame, all channels
    const std::size_t segmentValues_;  // values in one segment
    const std::size_t threads_;        // segments of this stream on the pool at once
    standins::WorkerPool& pool_;

    Lame first_;                       // the first segment's encoder; null once it has ended
    int64_t firstFed_ = 0;             // frames it has been given
    std::vector<uint8_t> firstBytes_;  // its bytes, kept until its end is known
    std::vector<uint8_t> scratch_;     // for its calls

    std::vector<int16_t> staging_;                // values not yet in a segment
    std::vector<int16_t> preroll_;                // the frames before bodies_.front()
    std::deque<std::vector<int16_t>> bodies_;     // segments' samples, all whole but the last
    int64_t dispatched_ = 0;                      // segments gone to the pool: all but the first
    std::deque<std::shared_ptr<Segment>> queue_;  // on the pool or done, in stream order
    bool failed_ = false;

    // The end of the last joined segment, which the next one may still change.
    std::vector<uint8_t> held_;
    std::vector<FrameInfo> heldFrames_;
    int64_t heldFirst_ = 0;  // the stream frame of heldFrames_.front()

    std::vector<uint8_t> ready_;  // joined bytes not yet handed back
    std::size_t readyAt_ = 0;

    std::mutex mutex_;  // guards the segments' `done` and what the pool wrote before it
    std::condition_variable finished_;
};

}  // namespace lamestandin
