// SPDX-License-Identifier: GPL-3.0-or-later
// One long Ogg Vorbis stream cut into segments, each encoded by its own libvorbis encoder on the
// library's pool, and joined so that the packets are those of one encoder: the same bytes, the
// same granule positions.
//
// libvorbis chooses each block's size from the envelope of the samples ahead, and a later encoder
// can only give an earlier one's packets if it places its blocks where that one does. So a pass
// of block decisions alone (about 6 % of the cost) runs along the stream on the caller's thread,
// and each segment's encoder starts a little before the segment, at a point from which a fresh
// encoder's blocks fall on that grid (tried with block decisions alone first). Its packets are
// compared with those of the encoder before, which encodes a little past the segment's start; the
// later encoder takes over in a run of identical packets once a block of the run is loud enough
// that neither encoder still weighs a sound the other did not hear. Until then the earlier
// encoder goes on, on the caller's thread, through the whole segment if need be: slower, never
// different.
//
// The segments' bounds, starts and joins follow from the samples alone, never from the number of
// threads or from timing. A stream of at most about two segments keeps its first encoder, which
// is encoded on the caller's thread as the samples come.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "VorbisEncoder.h"
#include "WorkerPool.h"

namespace vorbisstandin {

class SegmentedVorbis {
  public:
    // `first`: an encoder made from the settings, which gave the stream's headers.
    SegmentedVorbis(const Settings& settings, std::unique_ptr<Encoder> first,
                    standins::WorkerPool& pool);
    // Waits for the stream's segments still on the pool.
    ~SegmentedVorbis();
    SegmentedVorbis(const SegmentedVorbis&) = delete;
    SegmentedVorbis& operator=(const SegmentedVorbis&) = delete;

    // `frames` interleaved frames. False once an encoder has failed.
    bool Write(const int16_t* values, std::size_t frames);
    bool Finish();

    // Packets that are final, in stream order, for the muxer.
    std::deque<Packet> ready;

    // The most encoded bytes a call can leave in `ready` beyond what a plain encoder would.
    static std::size_t MostOwed(const Settings& settings, int threads);

    // Seams where no join came and the earlier encoder went on through the next segment, and
    // frames that an earlier encoder encoded past its segment's end before a join came.
    int Fallbacks() const { return fallbacks_; }
    int64_t FramesContinued() const { return continued_; }

    struct Segment;

  private:
    // Fixed by the sample rate: each segment after the first costs about kLeadIn + kOverlap more
    // encoding, the block pass the rest.
    int64_t SegmentFrames() const { return 20 * settings_.rate; }
    int64_t LeadIn() const { return settings_.rate / 4; }       // the later encoder starts before
    int64_t Overlap() const { return settings_.rate * 2 / 5; }  // the earlier one goes on past
    int64_t Margin() const { return 2 * longBlock_; }
    // The first frame a segment's encoder may start at.
    int64_t SegmentStart(int64_t index) const {
        return index * SegmentFrames() - LeadIn() - Margin();
    }

    bool Settle();
    bool Dispatch(bool last);
    bool CollectFront();
    bool Join(Segment& segment);
    bool Continue(Segment& segment);
    // Hands on the chain's packets before `before`: no later join can change them.
    void ReleasePackets(int64_t before);
    // Drops the samples and blocks before `before`.
    void Prune(int64_t before);

    const Settings settings_;
    standins::WorkerPool& pool_;
    const std::size_t mostQueued_;
    long shortBlock_ = 0;
    long longBlock_ = 0;
    std::vector<double> rises_[2];  // the window's rising halves, short and long

    Encoder blockPass_;
    std::deque<Block> grid_;  // its blocks from the next segment's start on

    std::unique_ptr<Encoder> chain_;  // the encoder whose packets the stream has now
    bool chainEnded_ = false;
    bool firstOnly_ = true;  // no segment has gone to the pool yet

    std::vector<int16_t> staging_;  // samples from stagingStart_ on
    int64_t stagingStart_ = 0;
    int64_t received_ = 0;
    int64_t next_ = 1;  // the next segment to dispatch
    std::deque<std::shared_ptr<Segment>> queue_;
    bool failed_ = false;
    int fallbacks_ = 0;
    int64_t continued_ = 0;

    struct Sync {
        std::mutex mutex;
        std::condition_variable finished;
    };
    std::shared_ptr<Sync> sync_ = std::make_shared<Sync>();
};

}  // namespace vorbisstandin
