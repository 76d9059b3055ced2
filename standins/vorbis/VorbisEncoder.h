// SPDX-License-Identifier: GPL-3.0-or-later
// One libvorbis encoder over whole sample frames, whose packets carry granule positions of the
// whole stream; and the Ogg stream that the packets of one or more such encoders make.
#pragma once

#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace vorbisstandin {

struct Settings {
    int channels = 0;
    long rate = 0;
    float quality = 0;
};

struct Packet {
    int64_t granule = 0;  // in the whole stream's frames: its block's centre, but at the end
    bool endOfStream = false;
    // The sizes of its block and of the blocks beside it (1 long, 0 short), which shape its window.
    uint8_t previousLong = 0;
    uint8_t isLong = 0;
    uint8_t nextLong = 0;
    // libvorbis's loudest level of the recent past after the block, where it can be read.
    float loudest = 0;
    std::vector<uint8_t> bytes;
};

// A block that libvorbis's envelope search decided on: its centre in the stream's frames, and
// whether it is long.
struct Block {
    int64_t centre = 0;
    bool isLong = false;
    bool operator==(const Block&) const = default;
};

class Encoder {
  public:
    // `origin`: the stream frame of the first frame it is given. Without analysis it only decides
    // the blocks (a small part of the cost) and records them instead of packets.
    Encoder(const Settings& settings, bool analyse, int64_t origin);
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    bool Ok() const { return ok_; }
    // The three header packets; they point into the encoder and last until the next call.
    void Headers(vorbis_comment& comment, ogg_packet& identification, ogg_packet& comments,
                 ogg_packet& codebooks);
    // `frames` interleaved frames, in one piece: where the pieces fall changes how libvorbis
    // extrapolates the stream's start.
    bool Write(const int16_t* values, std::size_t frames);
    // Writes `frames` frames in pieces of a fixed size, as every segment's encoder does.
    bool WriteInPieces(const int16_t* values, std::size_t frames);
    bool End();

    int64_t Fed() const { return origin_ + fed_; }
    long BlockSize(int which) { return vorbis_info_blocksize(&info_, which); }
    // Whether the packets' `loudest` is libvorbis's own.
    bool KnowsLoudest() const { return loudest_ != nullptr; }

    std::deque<Packet> packets;  // with analysis
    std::vector<Block> blocks;   // without

  private:
    bool Drain();

    const int channels_;
    const bool analyse_;
    const int64_t origin_;
    int64_t fed_ = 0;
    bool ok_ = false;
    vorbis_info info_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    bool dspReady_ = false;
    const float* loudest_ = nullptr;
};

// Packets to pages of one logical stream: the same pages for the same packets, wherever the
// packets came from.
class OggMuxer {
  public:
    explicit OggMuxer(int serial);
    ~OggMuxer();
    OggMuxer(const OggMuxer&) = delete;
    OggMuxer& operator=(const OggMuxer&) = delete;

    void PutHeader(ogg_packet& packet);
    void Put(const Packet& packet);
    // Ends the page in progress (after the headers, and at the end).
    void Flush();

    std::vector<uint8_t> pending;  // pages not yet handed out

  private:
    void Queue(const ogg_page& page);

    ogg_stream_state ogg_{};
    int64_t packetNumber_ = 3;
};

}  // namespace vorbisstandin
