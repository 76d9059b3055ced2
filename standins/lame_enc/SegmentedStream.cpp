// SPDX-License-Identifier: GPL-3.0-or-later
#include "SegmentedStream.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

namespace lamestandin {

struct SegmentedStream::Segment {
    std::vector<int16_t> preroll;  // frames before the body: the warm-up, then the join frames
    std::vector<int16_t> body;     // the frames this segment gives
    // After the body: the frame that its last frame needs, or, for the last segment, the rest of
    // the stream.
    std::vector<std::vector<int16_t>> after;
    bool last = false;
    int64_t firstFrame = 0;  // the stream frame of the first frame in `bytes`
    std::vector<uint8_t> bytes;
    std::vector<FrameInfo> frames;
    bool ok = false;
    bool done = false;
};

namespace {

// Encodes a segment into whole frames from the end of its warm-up on.
bool EncodeSegment(const Mp3Settings& settings, std::size_t frameValues,
                   SegmentedStream::Segment& segment) {
    Lame encoder = NewEncoder(settings);
    if (!encoder) {
        return false;
    }
    lame_t lame = encoder.get();
    const int channels = settings.channels;
    const int frameSize = static_cast<int>(frameValues) / channels;
    const int preroll = static_cast<int>(segment.preroll.size() / frameValues);
    const int warmup = preroll > 0 ? SegmentedStream::kWarmupFrames : 0;
    const int end =
        segment.last ? -1 : preroll + static_cast<int>(segment.body.size() / frameValues);
    std::vector<uint8_t> scratch(static_cast<std::size_t>(EncodedBound(frameSize)));
    std::vector<uint8_t>& out = segment.bytes;
    std::vector<const std::vector<int16_t>*> parts = {&segment.preroll, &segment.body};
    std::size_t values = 0;
    for (const std::vector<int16_t>& part : segment.after) {
        parts.push_back(&part);
        values += part.size();
    }
    out.reserve(static_cast<std::size_t>(MaxFrameBytes(settings)) *
                ((segment.preroll.size() + segment.body.size() + values) / frameValues + 4));
    auto keep = [&](int count) {
        if (count < 0) {
            return false;
        }
        out.insert(out.end(), scratch.begin(), scratch.begin() + count);
        return true;
    };
    const int capacity = static_cast<int>(scratch.size());
    bool warming = warmup > 0;
    bool ended = false;
    // Only the last part may end inside a frame.
    for (const std::vector<int16_t>* part : parts) {
        for (std::size_t at = 0; at < part->size() && !ended; at += frameValues) {
            const int frames =
                static_cast<int>(std::min(frameValues, part->size() - at)) / channels;
            if (!keep(EncodeInto(lame, channels, part->data() + at, frames, scratch.data(),
                                 capacity))) {
                return false;
            }
            // Fed a frame at a time, the encoder finishes at most one frame per call, so the
            // flushes fall exactly between the frames where they belong.
            const int encoded = lame_get_frameNum(lame);
            if (warming && encoded == warmup) {
                // The warm-up's frames are complete and dropped; the next frame starts with an
                // empty bit reservoir, so that it can follow any frame.
                if (!keep(FlushInto(lame, false, scratch.data(), capacity))) {
                    return false;
                }
                out.clear();
                warming = false;
            } else if (!warming && encoded == end) {
                // The last frame's main data completed, for the next segment to join.
                if (!keep(FlushInto(lame, false, scratch.data(), capacity))) {
                    return false;
                }
                ended = true;
            }
        }
    }
    // Only the last segment runs out of samples before its end; it ends as one encoder would.
    if (warming ||
        (!ended && !(segment.last && keep(FlushInto(lame, true, scratch.data(), capacity))))) {
        return false;
    }
    std::optional<std::vector<FrameInfo>> frames = ReadFrames(out);
    if (!frames || (!segment.last && static_cast<int>(frames->size()) != end - warmup)) {
        return false;
    }
    segment.frames = std::move(*frames);
    return true;
}

// Copies the last `count` slot bytes before frame `end` of one frame list to the same place
// before frame `end` of another, reading in `from` and writing in `to`.
void CopySlotTail(const std::vector<uint8_t>& fromBytes, const std::vector<FrameInfo>& from,
                  std::size_t fromEnd, std::vector<uint8_t>& toBytes,
                  const std::vector<FrameInfo>& to, std::size_t toEnd, std::size_t count) {
    std::size_t source = fromEnd;
    std::size_t target = toEnd;
    std::size_t sourceLeft = 0;  // unread slot bytes of from[source], counted from its end
    std::size_t targetLeft = 0;
    std::size_t sourceAt = 0;
    std::size_t targetAt = 0;
    while (count > 0) {
        if (sourceLeft == 0) {
            --source;
            sourceAt = from[source].offset + from[source].size;
            sourceLeft = sourceAt - from[source].slot;
        }
        if (targetLeft == 0) {
            --target;
            targetAt = to[target].offset + to[target].size;
            targetLeft = targetAt - to[target].slot;
        }
        const std::size_t step = std::min({count, sourceLeft, targetLeft});
        sourceAt -= step;
        targetAt -= step;
        std::memcpy(toBytes.data() + targetAt, fromBytes.data() + sourceAt, step);
        sourceLeft -= step;
        targetLeft -= step;
        count -= step;
    }
}

}  // namespace

SegmentedStream::SegmentedStream(const Mp3Settings& settings, int frameSize, Lame first,
                                 standins::WorkerPool& pool)
    : settings_(settings),
      frameValues_(static_cast<std::size_t>(frameSize) *
                   static_cast<std::size_t>(settings.channels)),
      segmentValues_(frameValues_ * kSegmentFrames),
      threads_(static_cast<std::size_t>(std::min(pool.Threads(), kMostThreadsPerStream))),
      pool_(pool),
      first_(std::move(first)),
      scratch_(static_cast<std::size_t>(EncodedBound(frameSize))) {
    failed_ = !first_;
}

SegmentedStream::~SegmentedStream() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] {
        return std::all_of(queue_.begin(), queue_.end(),
                           [](const std::shared_ptr<Segment>& segment) { return segment->done; });
    });
    for (std::vector<int16_t>& body : bodies_) {
        pool_.GiveBuffer(std::move(body));
    }
}

uint32_t SegmentedStream::BufferSize(const Mp3Settings& settings, int threads) {
    // What Finish may owe: a stream that kept its first encoder, whole; or the segments still on
    // the pool (one fewer than the threads), the held frames and the last segment, each with its
    // join frames; and the frames that end a stream.
    const auto onPool = static_cast<uint64_t>(std::min(threads, kMostThreadsPerStream));
    const uint64_t frames =
        std::max<uint64_t>(2 * kSegmentFrames,
                           onPool * (kSegmentFrames + kJoinFrames) + kJoinFrames + kHeldFrames) +
        8;
    return static_cast<uint32_t>(
        std::min<uint64_t>(frames * static_cast<uint64_t>(MaxFrameBytes(settings)) + 7200,
                           std::numeric_limits<uint32_t>::max()));
}

bool SegmentedStream::Encode(const int16_t* values, uint32_t count, uint8_t* output,
                             uint32_t capacity, uint32_t* produced) {
    staging_.insert(staging_.end(), values, values + count);
    if (!FeedFirst() || !Settle() || !Collect(threads_)) {
        return false;
    }
    *produced = HandBack(output, capacity);
    return true;
}

bool SegmentedStream::Finish(uint8_t* output, uint32_t capacity, uint32_t* produced) {
    if (failed_) {
        return false;
    }
    bodies_.push_back(std::move(staging_));
    if (first_) {
        // Shorter than two segments: the first segment's encoder takes the rest, as one encoder
        // takes a whole stream. Its frame after the first segment has been fed already.
        std::size_t skip = firstFed_ > kSegmentFrames ? frameValues_ : 0;
        for (std::vector<int16_t>& body : bodies_) {
            const std::size_t from = std::min(skip, body.size());
            skip -= from;
            failed_ = failed_ || !FeedFirstValues(body.data() + from, body.size() - from);
            pool_.GiveBuffer(std::move(body));
        }
        bodies_.clear();
        if (failed_ || !EndFirst(true)) {
            return false;
        }
    } else {
        auto segment = std::make_shared<Segment>();
        segment->last = true;
        segment->firstFrame = (dispatched_ + 1) * kSegmentFrames - kJoinFrames;
        segment->preroll = std::move(preroll_);
        segment->body = std::move(bodies_.front());
        std::move(bodies_.begin() + 1, bodies_.end(), std::back_inserter(segment->after));
        bodies_.clear();
        Submit(std::move(segment));
    }
    if (!Collect(0) || ready_.size() - readyAt_ > capacity) {
        return false;
    }
    *produced = HandBack(output, capacity);
    return true;
}

bool SegmentedStream::FeedFirst() {
    // Its own frames leave the staged values; the frame after them stays for the next segment.
    while (first_ && firstFed_ <= kSegmentFrames && staging_.size() >= frameValues_) {
        if (!FeedFirstValues(staging_.data(), frameValues_)) {
            return false;
        }
        if (firstFed_ > kSegmentFrames - (kWarmupFrames + kJoinFrames) &&
            firstFed_ <= kSegmentFrames) {
            preroll_.insert(preroll_.end(), staging_.begin(),
                            staging_.begin() + static_cast<std::ptrdiff_t>(frameValues_));
        }
        if (firstFed_ <= kSegmentFrames) {
            staging_.erase(staging_.begin(),
                           staging_.begin() + static_cast<std::ptrdiff_t>(frameValues_));
        }
    }
    return true;
}

bool SegmentedStream::FeedFirstValues(const int16_t* values, std::size_t count) {
    for (std::size_t at = 0; at < count; at += frameValues_) {
        const int frames =
            static_cast<int>(std::min(frameValues_, count - at)) / settings_.channels;
        const int encoded = EncodeInto(first_.get(), settings_.channels, values + at, frames,
                                       scratch_.data(), static_cast<int>(scratch_.size()));
        if (encoded < 0) {
            return false;
        }
        firstBytes_.insert(firstBytes_.end(), scratch_.begin(), scratch_.begin() + encoded);
        ++firstFed_;
    }
    return true;
}

bool SegmentedStream::EndFirst(bool endOfStream) {
    const int encoded =
        FlushInto(first_.get(), endOfStream, scratch_.data(), static_cast<int>(scratch_.size()));
    first_.reset();
    if (encoded < 0) {
        return false;
    }
    firstBytes_.insert(firstBytes_.end(), scratch_.begin(), scratch_.begin() + encoded);
    auto segment = std::make_shared<Segment>();
    segment->last = endOfStream;
    segment->bytes = std::move(firstBytes_);
    std::optional<std::vector<FrameInfo>> frames = ReadFrames(segment->bytes);
    segment->ok = frames && (endOfStream || frames->size() == kSegmentFrames);
    if (frames) {
        segment->frames = std::move(*frames);
    }
    segment->done = true;
    queue_.push_back(std::move(segment));
    return true;
}

bool SegmentedStream::Settle() {
    if (first_ && firstFed_ <= kSegmentFrames) {
        return true;  // the first segment's frames, and the one after them, are still coming
    }
    for (;;) {
        if (!bodies_.empty() && bodies_.back().size() < segmentValues_) {
            std::vector<int16_t>& body = bodies_.back();
            const auto take = static_cast<std::ptrdiff_t>(
                std::min(staging_.size(), segmentValues_ - body.size()));
            body.insert(body.end(), staging_.begin(), staging_.begin() + take);
            staging_.erase(staging_.begin(), staging_.begin() + take);
        }
        if (DispatchFront()) {
            // With the stream's share of the threads busy, the caller waits here, before it
            // gathers another segment: the samples held stay those of the threads' segments.
            if (!Collect(threads_ - 1)) {
                return false;
            }
        } else if (staging_.empty() || failed_) {
            return !failed_;
        } else {
            bodies_.push_back(pool_.TakeBuffer(segmentValues_));
        }
    }
}

bool SegmentedStream::DispatchFront() {
    // A segment goes once the frame after it has arrived. The stream then has two segments at
    // least, so the first segment's encoder ends where that segment does.
    if (bodies_.empty() || bodies_.front().size() < segmentValues_) {
        return false;
    }
    const std::vector<int16_t>& next = bodies_.size() > 1 ? bodies_[1] : staging_;
    if (next.size() < frameValues_) {
        return false;
    }
    if (first_ && !EndFirst(false)) {
        failed_ = true;
        return false;
    }
    const auto prerollValues =
        static_cast<std::ptrdiff_t>(frameValues_ * (kWarmupFrames + kJoinFrames));
    auto segment = std::make_shared<Segment>();
    std::vector<int16_t>& body = bodies_.front();
    segment->firstFrame = (dispatched_ + 1) * kSegmentFrames - kJoinFrames;
    segment->preroll = std::move(preroll_);
    preroll_.assign(body.end() - prerollValues, body.end());
    segment->after.emplace_back(next.begin(),
                                next.begin() + static_cast<std::ptrdiff_t>(frameValues_));
    segment->body = std::move(body);
    bodies_.pop_front();
    ++dispatched_;
    Submit(std::move(segment));
    return true;
}

void SegmentedStream::Submit(std::shared_ptr<Segment> segment) {
    queue_.push_back(segment);
    pool_.Submit([this, segment] {
        const bool ok = EncodeSegment(settings_, frameValues_, *segment);
        segment->preroll = {};
        std::lock_guard lock(mutex_);
        segment->ok = ok;
        segment->done = true;
        finished_.notify_all();
    });
}

bool SegmentedStream::Collect(std::size_t mayRemain) {
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
        failed_ = !front.ok || !Join(front);
        pool_.GiveBuffer(std::move(front.body));
        for (std::vector<int16_t>& part : front.after) {
            pool_.GiveBuffer(std::move(part));
        }
        queue_.pop_front();
    }
    return !failed_;
}

bool SegmentedStream::Join(Segment& segment) {
    if (heldFrames_.empty()) {
        Append(segment, 0);
        return true;
    }
    // The join frame: from the later encoder's first frame, which borrows nothing, to the end of
    // the earlier one. Its main data must fit into what the earlier frames leave free; of those
    // that fit, the one that leaves least unused is where the two encoders agree best.
    const ReservoirMap before(heldFrames_);
    const ReservoirMap after(segment.frames);
    const int64_t end = heldFirst_ + static_cast<int64_t>(heldFrames_.size());
    std::size_t joinLeft = 0;
    std::size_t joinRight = 0;
    int64_t best = std::numeric_limits<int64_t>::max();
    for (int64_t frame = segment.firstFrame; frame <= end; ++frame) {
        const auto left = static_cast<std::size_t>(frame - heldFirst_);
        const auto right = static_cast<std::size_t>(frame - segment.firstFrame);
        if (left == 0 || right >= segment.frames.size()) {
            continue;
        }
        const int64_t unused = before.slotStart[left] - before.dataEnd[left - 1];
        const int borrowed = segment.frames[right].mainDataBegin;
        if (borrowed <= unused && unused - borrowed <= best && borrowed <= before.slotStart[left] &&
            borrowed <= after.slotStart[right]) {
            best = unused - borrowed;
            joinLeft = left;
            joinRight = right;
        }
    }
    if (best == std::numeric_limits<int64_t>::max()) {
        return false;
    }
    CopySlotTail(segment.bytes, segment.frames, joinRight, held_, heldFrames_, joinLeft,
                 static_cast<std::size_t>(segment.frames[joinRight].mainDataBegin));
    const std::size_t cut =
        joinLeft < heldFrames_.size() ? heldFrames_[joinLeft].offset : held_.size();
    ready_.insert(ready_.end(), held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(cut));
    Append(segment, joinRight);
    return true;
}

void SegmentedStream::Append(Segment& segment, std::size_t from) {
    const std::vector<FrameInfo>& frames = segment.frames;
    const std::size_t hold =
        segment.last ? frames.size()
                     : std::max(from, frames.size() - std::min(frames.size(), kHeldFrames));
    auto offsetOf = [&](std::size_t index) {
        return static_cast<std::ptrdiff_t>(index < frames.size() ? frames[index].offset
                                                                 : segment.bytes.size());
    };
    ready_.insert(ready_.end(), segment.bytes.begin() + offsetOf(from),
                  segment.bytes.begin() + offsetOf(hold));
    held_.assign(segment.bytes.begin() + offsetOf(hold), segment.bytes.end());
    heldFrames_.assign(frames.begin() + static_cast<std::ptrdiff_t>(hold), frames.end());
    const std::size_t base = hold < frames.size() ? frames[hold].offset : 0;
    for (FrameInfo& frame : heldFrames_) {
        frame.offset -= base;
        frame.slot -= base;
    }
    heldFirst_ = segment.firstFrame + static_cast<int64_t>(hold);
    segment.bytes = {};
    segment.frames = {};
}

uint32_t SegmentedStream::HandBack(uint8_t* output, uint32_t capacity) {
    const std::size_t count = std::min<std::size_t>(capacity, ready_.size() - readyAt_);
    if (count > 0) {
        std::memcpy(output, ready_.data() + readyAt_, count);
    }
    readyAt_ += count;
    if (readyAt_ == ready_.size()) {
        ready_.clear();
        readyAt_ = 0;
    }
    return static_cast<uint32_t>(count);
}

}  // namespace lamestandin
