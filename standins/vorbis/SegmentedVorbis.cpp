// SPDX-License-Identifier: GPL-3.0-or-later
#include "SegmentedVorbis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>

namespace vorbisstandin {
namespace {

// A join needs this many identical packets running, not counting the near-empty packets of
// silence: two encoders whose psychoacoustic state still differs give the same silent packets,
// then differ at the next sound. Twelve held at every point tried; four did not.
constexpr int kJoinPackets = 12;
constexpr std::size_t kSilentPacketBytes = 4;
// Long blocks of the grid tried as a segment encoder's first long block, and the blocks after it
// that a trial's decisions must share with the grid.
constexpr int kMostCentres = 8;
constexpr std::size_t kLockBlocks = 8;
constexpr std::size_t kMostThreadsPerStream = 32;
// Identical packets do not show that the encoders' psychoacoustic state agrees: libvorbis weighs
// each tone against the loudest spectral peak of the recent past, a level that falls by 6 dB a
// second, and an encoder that never heard a loud sound before its start gives the same packets
// as one that did until some tone crosses a threshold. Both forget what came before the run of
// identical packets once a block of that run peaks above what those sounds can still weigh: at
// most 0 dB, less 6 dB for each second since. The margin covers libvorbis's fast logarithm.
constexpr double kPeakFallPerSecond = 6.0;
constexpr double kPeakMarginDb = 1.0;

// The Vorbis window's rising half over `half` samples.
std::vector<double> WindowRise(long half) {
    constexpr double kHalfPi = 1.5707963267948966;
    std::vector<double> rise(static_cast<std::size_t>(half));
    for (long at = 0; at < half; ++at) {
        const double x =
            std::sin((static_cast<double>(at) + 0.5) / static_cast<double>(half) * kHalfPi);
        rise[static_cast<std::size_t>(at)] = std::sin(kHalfPi * x * x);
    }
    return rise;
}

void Transform(std::vector<std::complex<double>>& values) {
    const std::size_t n = values.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(values[i], values[j]);
        }
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2 * 3.141592653589793 / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t at = 0; at < n; at += length) {
            std::complex<double> turn(1);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> odd = values[at + k + length / 2] * turn;
                values[at + k + length / 2] = values[at + k] - odd;
                values[at + k] += odd;
                turn *= step;
            }
        }
    }
}

}  // namespace

struct SegmentedVorbis::Segment {
    int64_t index = 0;
    int64_t start = 0;    // the stream frame of samples' first frame
    int64_t end = 0;      // and after its last
    int64_t nominal = 0;  // where the segment's own frames begin
    bool last = false;
    std::vector<int16_t> samples;
    std::vector<Block> grid;  // the block pass's blocks near the segment's start
    std::unique_ptr<Encoder> encoder;
    int64_t encoderStart = 0;
    bool done = false;  // guarded by the stream's mutex, as is what the pool wrote before it
    bool failed = false;
};

namespace {

struct Layout {
    Settings settings;
    long shortBlock = 0;
    long longBlock = 0;
    int64_t leadIn = 0;
};

const int16_t* FrameAt(const SegmentedVorbis::Segment& segment, int64_t frame, int channels) {
    return segment.samples.data() + (frame - segment.start) * channels;
}

// Whether the loudest bin below half the block's spectrum, over the channels and as libvorbis
// measures it for its psychoacoustics (0 dB for a full-scale tone), less the margin, reaches
// `level`; false when the block's samples are not all in the segment. `rises`: the window's
// rising halves for short and long blocks.
bool PeaksAbove(const Layout& layout, const SegmentedVorbis::Segment& segment, const Packet& packet,
                const std::vector<double> (&rises)[2], double level) {
    const long n = packet.isLong != 0 ? layout.longBlock : layout.shortBlock;
    const bool leftLong = packet.isLong != 0 && packet.previousLong != 0;
    const bool rightLong = packet.isLong != 0 && packet.nextLong != 0;
    const long left = leftLong ? layout.longBlock : layout.shortBlock;
    const long right = rightLong ? layout.longBlock : layout.shortBlock;
    const int64_t first = packet.granule - n / 2;
    if (packet.endOfStream || first < segment.start || first + n > segment.end) {
        return false;
    }
    const long leftBegin = n / 4 - left / 4;
    const long leftEnd = leftBegin + left / 2;
    const long rightBegin = n / 2 + n / 4 - right / 4;
    const long rightEnd = rightBegin + right / 2;
    const int channels = layout.settings.channels;
    const int16_t* frames = FrameAt(segment, first, channels);
    const double scale = 4.0 / static_cast<double>(n) / 32768.0;
    // No bin exceeds the sum of the windowed magnitudes: most blocks need no transform.
    const double wanted = std::pow(10.0, (level + kPeakMarginDb) / 20) / scale;
    std::vector<double> windowed(static_cast<std::size_t>(n) * static_cast<std::size_t>(channels));
    std::vector<double> sums(static_cast<std::size_t>(channels));
    for (long i = leftBegin; i < rightEnd; ++i) {
        const double window = i < leftEnd ? rises[leftLong][static_cast<std::size_t>(i - leftBegin)]
                              : i < rightBegin
                                  ? 1
                                  : rises[rightLong][static_cast<std::size_t>(rightEnd - 1 - i)];
        for (int c = 0; c < channels; ++c) {
            const double value = window * frames[i * channels + c];
            windowed[static_cast<std::size_t>(c * n + i)] = value;
            sums[static_cast<std::size_t>(c)] += std::abs(value);
        }
    }
    std::vector<std::complex<double>> spectrum(static_cast<std::size_t>(n));
    for (int c = 0; c < channels; ++c) {
        if (sums[static_cast<std::size_t>(c)] < wanted) {
            continue;
        }
        for (long i = 0; i < n; ++i) {
            spectrum[static_cast<std::size_t>(i)] = windowed[static_cast<std::size_t>(c * n + i)];
        }
        Transform(spectrum);
        for (long k = 0; k < n / 2; ++k) {
            if (std::norm(spectrum[static_cast<std::size_t>(k)]) >= wanted * wanted) {
                return true;
            }
        }
    }
    return false;
}

// Whether a fresh encoder started at `start` puts its blocks on the grid from grid[at] on.
bool LocksOn(const Layout& layout, const SegmentedVorbis::Segment& segment, std::size_t at,
             int64_t start) {
    const int64_t centre = segment.grid[at].centre;
    const int64_t until = std::min<int64_t>(
        segment.end, centre + static_cast<int64_t>(kLockBlocks + 4) * layout.longBlock / 2 +
                         2 * layout.longBlock);
    Encoder trial(layout.settings, false, start);
    if (!trial.Ok() || !trial.WriteInPieces(FrameAt(segment, start, layout.settings.channels),
                                            static_cast<std::size_t>(until - start))) {
        return false;
    }
    const auto first = std::find_if(trial.blocks.begin(), trial.blocks.end(),
                                    [&](const Block& block) { return block.centre >= centre; });
    std::size_t shared = 0;
    for (auto block = first; block != trial.blocks.end() && at + shared < segment.grid.size();
         ++block, ++shared) {
        if (!(*block == segment.grid[at + shared])) {
            return false;
        }
    }
    return shared >= kLockBlocks;
}

// The frame to start the segment's encoder at: the first that the trials find on the grid.
int64_t EncoderStart(const Layout& layout, const SegmentedVorbis::Segment& segment) {
    const long s = layout.shortBlock;
    const long l = layout.longBlock;
    // A fresh encoder begins with a short block on its first frame, then one to three short
    // blocks or none, as the envelope of its start decides, before its first long block.
    const long offsets[] = {s / 4 + l / 4, 3 * s / 4 + l / 4, 5 * s / 4 + l / 4};
    int64_t fallback = -1;
    int centres = 0;
    for (std::size_t at = 0; at < segment.grid.size() && centres < kMostCentres; ++at) {
        const Block& block = segment.grid[at];
        if (!block.isLong || block.centre < segment.nominal - layout.leadIn) {
            continue;
        }
        ++centres;
        for (const long offset : offsets) {
            const int64_t start = block.centre - offset;
            if (start < segment.start) {
                continue;
            }
            if (fallback < 0) {
                fallback = start;
            }
            if (LocksOn(layout, segment, at, start)) {
                return start;
            }
        }
    }
    return fallback >= 0 ? fallback : segment.nominal - layout.leadIn;
}

void EncodeSegment(const Layout& layout, SegmentedVorbis::Segment& segment) {
    const int64_t start = EncoderStart(layout, segment);
    auto encoder = std::make_unique<Encoder>(layout.settings, true, start);
    segment.failed = !encoder->Ok() ||
                     !encoder->WriteInPieces(FrameAt(segment, start, layout.settings.channels),
                                             static_cast<std::size_t>(segment.end - start)) ||
                     (segment.last && !encoder->End());
    segment.encoder = std::move(encoder);
    segment.encoderStart = start;
}

}  // namespace

SegmentedVorbis::SegmentedVorbis(const Settings& settings, std::unique_ptr<Encoder> first,
                                 standins::WorkerPool& pool)
    : settings_(settings),
      pool_(pool),
      mostQueued_(
          std::min<std::size_t>(static_cast<std::size_t>(pool.Threads()), kMostThreadsPerStream) +
          1),
      blockPass_(settings, false, 0),
      chain_(std::move(first)) {
    longBlock_ = chain_->BlockSize(1);
    shortBlock_ = chain_->BlockSize(0);
    rises_[0] = WindowRise(shortBlock_ / 2);
    rises_[1] = WindowRise(longBlock_ / 2);
    stagingStart_ = SegmentStart(1);
}

SegmentedVorbis::~SegmentedVorbis() {
    std::unique_lock lock(sync_->mutex);
    for (const auto& segment : queue_) {
        sync_->finished.wait(lock, [&] { return segment->done; });
    }
}

std::size_t SegmentedVorbis::MostOwed(const Settings& settings, int threads) {
    // Measured: at most 0.74 bytes per value at quality 1 and 0.18 at 0.4, on white noise.
    const double perValue = 0.5 + 0.5 * settings.quality;
    const auto segments = std::min<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)),
                                                kMostThreadsPerStream) +
                          4;
    const double frames = static_cast<double>(segments) * 21.0 * static_cast<double>(settings.rate);
    return static_cast<std::size_t>(frames * settings.channels * perValue) + 65536;
}

bool SegmentedVorbis::Write(const int16_t* values, std::size_t frames) {
    if (failed_) {
        return false;
    }
    const auto channels = static_cast<std::size_t>(settings_.channels);
    if (!blockPass_.Write(values, frames)) {
        failed_ = true;
        return false;
    }
    grid_.insert(grid_.end(), blockPass_.blocks.begin(), blockPass_.blocks.end());
    blockPass_.blocks.clear();
    const int64_t begin = received_;
    received_ += static_cast<int64_t>(frames);
    if (firstOnly_) {
        // The first encoder takes its frames as they come, up to where the second would join.
        const int64_t limit = SegmentFrames() + Overlap();
        if (chain_->Fed() < limit) {
            const auto count =
                static_cast<std::size_t>(std::min<int64_t>(received_, limit) - chain_->Fed());
            if (!chain_->Write(values, count)) {
                failed_ = true;
                return false;
            }
        }
        ReleasePackets(SegmentStart(1));
        Prune(SegmentStart(1));
    }
    if (received_ > stagingStart_) {
        const int64_t from = std::max(begin, stagingStart_);
        staging_.insert(staging_.end(), values + (from - begin) * static_cast<int64_t>(channels),
                        values + frames * channels);
    }
    return Settle();
}

bool SegmentedVorbis::Finish() {
    if (failed_) {
        return false;
    }
    bool ok = true;
    if (firstOnly_) {
        // At most about two segments: one encoder throughout.
        const int64_t from = chain_->Fed();
        ok = (received_ == from ||
              chain_->WriteInPieces(staging_.data() + (from - stagingStart_) * settings_.channels,
                                    static_cast<std::size_t>(received_ - from))) &&
             chain_->End();
    } else {
        ok = Dispatch(true);
        while (ok && !queue_.empty()) {
            ok = CollectFront();
        }
    }
    if (!ok) {
        failed_ = true;
        return false;
    }
    ReleasePackets(received_ + 1);
    return true;
}

bool SegmentedVorbis::Settle() {
    // A segment goes to the pool once the stream is known to go on well past it, so that the
    // last segment is never shorter than a second or so.
    while (received_ > (next_ + 1) * SegmentFrames() + Overlap() + settings_.rate) {
        if (!Dispatch(false)) {
            return false;
        }
    }
    while (!queue_.empty()) {
        {
            std::lock_guard lock(sync_->mutex);
            if (!queue_.front()->done) {
                break;
            }
        }
        if (!CollectFront()) {
            return false;
        }
    }
    return !failed_;
}

bool SegmentedVorbis::Dispatch(bool last) {
    while (queue_.size() >= mostQueued_) {
        if (!CollectFront()) {
            return false;
        }
    }
    firstOnly_ = false;
    auto segment = std::make_shared<Segment>();
    segment->index = next_;
    segment->start = SegmentStart(next_);
    segment->nominal = next_ * SegmentFrames();
    segment->end = last ? received_ : (next_ + 1) * SegmentFrames() + Overlap();
    segment->last = last;
    const auto channels = static_cast<std::size_t>(settings_.channels);
    const auto from = static_cast<std::size_t>(segment->start - stagingStart_) * channels;
    const auto to = static_cast<std::size_t>(segment->end - stagingStart_) * channels;
    segment->samples = pool_.TakeBuffer(to - from);
    segment->samples.assign(staging_.begin() + static_cast<std::ptrdiff_t>(from),
                            staging_.begin() + static_cast<std::ptrdiff_t>(to));
    for (const Block& block : grid_) {
        if (block.centre >= segment->start &&
            block.centre <= segment->nominal + 2 * settings_.rate) {
            segment->grid.push_back(block);
        }
    }
    ++next_;
    if (!last) {
        Prune(SegmentStart(next_));
    }
    queue_.push_back(segment);
    const Layout layout{settings_, shortBlock_, longBlock_, LeadIn()};
    pool_.Submit([layout, segment, sync = sync_] {
        EncodeSegment(layout, *segment);
        // Whatever the encoder holds stays with the segment for the caller's thread.
        std::lock_guard lock(sync->mutex);
        segment->done = true;
        sync->finished.notify_all();
    });
    return true;
}

bool SegmentedVorbis::CollectFront() {
    const std::shared_ptr<Segment> segment = queue_.front();
    {
        std::unique_lock lock(sync_->mutex);
        sync_->finished.wait(lock, [&] { return segment->done; });
    }
    queue_.pop_front();
    const bool ok = !segment->failed && Join(*segment);
    pool_.GiveBuffer(std::move(segment->samples));
    if (!ok) {
        failed_ = true;
    }
    return ok;
}

bool SegmentedVorbis::Join(Segment& segment) {
    std::deque<Packet>& later = segment.encoder->packets;
    std::size_t i = 0;  // in later
    std::size_t j = 0;  // in the chain's packets
    std::size_t length = 0;
    int counted = 0;
    std::size_t runLater = 0;
    std::size_t runChain = 0;
    int64_t reference = 0;  // where the run's shared past begins
    bool dominated = false;
    bool joined = false;
    const Layout layout{settings_, shortBlock_, longBlock_, LeadIn()};
    while (i < later.size() && !joined) {
        std::deque<Packet>& chain = chain_->packets;
        while (j < chain.size() && chain[j].granule < later[i].granule) {
            ++j;
            length = 0;
            counted = 0;
        }
        if (j == chain.size()) {
            if (!Continue(segment)) {
                if (failed_) {
                    return false;
                }
                break;
            }
            continue;
        }
        if (chain[j].granule != later[i].granule || chain[j].bytes != later[i].bytes) {
            length = 0;
            counted = 0;
            j += chain[j].granule == later[i].granule ? 1 : 0;
            ++i;
            continue;
        }
        if (length++ == 0) {
            runLater = i;
            runChain = j;
            dominated = false;
            // The later encoder's first blocks hold libvorbis's extrapolation of its start.
            reference = std::max(later[i].granule, segment.encoderStart + 3 * longBlock_ / 2);
        }
        counted += later[i].bytes.size() > kSilentPacketBytes ? 1 : 0;
        if (!dominated && segment.encoder->KnowsLoudest() && chain_->KnowsLoudest()) {
            // Equal levels after the same block: the encoders' states agree from here on.
            dominated = later[i].granule >= segment.encoderStart + 3 * longBlock_ / 2 &&
                        later[i].loudest == chain[j].loudest;
        } else if (!dominated) {
            const double fallen = kPeakFallPerSecond *
                                  static_cast<double>(later[i].granule - reference - longBlock_) /
                                  static_cast<double>(settings_.rate);
            dominated =
                fallen > kPeakMarginDb && PeaksAbove(layout, segment, later[i], rises_, -fallen);
        }
        joined = counted >= kJoinPackets && dominated;
        ++i;
        ++j;
    }
    if (joined) {
        std::deque<Packet>& chain = chain_->packets;
        for (std::size_t k = 0; k < runChain; ++k) {
            ready.push_back(std::move(chain[k]));
        }
        later.erase(later.begin(), later.begin() + static_cast<std::ptrdiff_t>(runLater));
        chain_ = std::move(segment.encoder);
        chainEnded_ = segment.last;
    } else {
        // The earlier encoder goes on through the segment.
        ++fallbacks_;
        while (Continue(segment)) {
        }
        if (failed_) {
            return false;
        }
        segment.encoder.reset();
    }
    if (!segment.last) {
        ReleasePackets(SegmentStart(segment.index + 1));
    }
    return true;
}

bool SegmentedVorbis::Continue(Segment& segment) {
    constexpr int64_t kPiece = 4096;
    const int64_t fed = chain_->Fed();
    if (fed < segment.end) {
        const int64_t count = std::min(kPiece, segment.end - fed);
        continued_ += count;
        if (!chain_->Write(FrameAt(segment, fed, settings_.channels),
                           static_cast<std::size_t>(count))) {
            failed_ = true;
            return false;
        }
        return true;
    }
    if (segment.last && !chainEnded_) {
        chainEnded_ = true;
        if (!chain_->End()) {
            failed_ = true;
            return false;
        }
        return true;
    }
    return false;
}

void SegmentedVorbis::ReleasePackets(int64_t before) {
    std::deque<Packet>& chain = chain_->packets;
    while (!chain.empty() && chain.front().granule < before) {
        ready.push_back(std::move(chain.front()));
        chain.pop_front();
    }
}

void SegmentedVorbis::Prune(int64_t before) {
    while (!grid_.empty() && grid_.front().centre < before) {
        grid_.pop_front();
    }
    if (before > stagingStart_ && !firstOnly_) {
        const int64_t drop = std::min(before, received_) - stagingStart_;
        staging_.erase(staging_.begin(),
                       staging_.begin() + static_cast<std::ptrdiff_t>(drop * settings_.channels));
        stagingStart_ += drop;
    }
}

}  // namespace vorbisstandin
