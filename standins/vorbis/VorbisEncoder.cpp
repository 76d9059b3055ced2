// SPDX-License-Identifier: GPL-3.0-or-later
#include "VorbisEncoder.h"

#include <algorithm>

namespace vorbisstandin {
namespace {

constexpr std::size_t kPieceFrames = 4096;

// What libvorbis keeps of a block beside its public part. The loudest level of the recent past,
// which decays by 6 dB a second, is its psychoacoustics' only memory from block to block beside
// the samples; two encoders whose levels agree after the same block go on alike. The layout has
// held since libvorbis 1.1 and is only trusted when the fields that vorbis_block_init sets are
// found where this says.
struct BlockPrivate {
    float** pcmdelay;
    float loudest;
    int blocktype;
    oggpack_buffer* packetblob[15];
};

const float* FindLoudest(vorbis_block& block) {
    const auto* internal = static_cast<const BlockPrivate*>(block.internal);
    constexpr float kUnheard = -9999.f;
    if (internal == nullptr || internal->loudest != kUnheard ||
        internal->packetblob[7] != &block.opb) {
        return nullptr;
    }
    return &internal->loudest;
}

}  // namespace

Encoder::Encoder(const Settings& settings, bool analyse, int64_t origin)
    : channels_(settings.channels), analyse_(analyse), origin_(origin) {
    vorbis_info_init(&info_);
    if (vorbis_encode_init_vbr(&info_, settings.channels, settings.rate, settings.quality) != 0 ||
        vorbis_analysis_init(&dsp_, &info_) != 0) {
        return;
    }
    vorbis_block_init(&dsp_, &block_);
    dspReady_ = true;
    loudest_ = analyse ? FindLoudest(block_) : nullptr;
    ok_ = true;
}

Encoder::~Encoder() {
    if (dspReady_) {
        vorbis_block_clear(&block_);
        vorbis_dsp_clear(&dsp_);
    }
    vorbis_info_clear(&info_);
}

void Encoder::Headers(vorbis_comment& comment, ogg_packet& identification, ogg_packet& comments,
                      ogg_packet& codebooks) {
    vorbis_analysis_headerout(&dsp_, &comment, &identification, &comments, &codebooks);
}

bool Encoder::Write(const int16_t* values, std::size_t frames) {
    if (frames == 0) {
        return true;
    }
    constexpr float kScale = 1.0f / 32768.0f;
    float** buffer = vorbis_analysis_buffer(&dsp_, static_cast<int>(frames));
    for (int c = 0; c < channels_; ++c) {
        float* channel = buffer[c];
        for (std::size_t i = 0; i < frames; ++i) {
            channel[i] =
                values[i * static_cast<std::size_t>(channels_) + static_cast<std::size_t>(c)] *
                kScale;
        }
    }
    fed_ += static_cast<int64_t>(frames);
    return vorbis_analysis_wrote(&dsp_, static_cast<int>(frames)) == 0 && Drain();
}

bool Encoder::WriteInPieces(const int16_t* values, std::size_t frames) {
    for (std::size_t at = 0; at < frames; at += kPieceFrames) {
        if (!Write(values + at * static_cast<std::size_t>(channels_),
                   std::min(kPieceFrames, frames - at))) {
            return false;
        }
    }
    return true;
}

bool Encoder::End() {
    return vorbis_analysis_wrote(&dsp_, 0) == 0 && Drain();
}

bool Encoder::Drain() {
    while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
        if (!analyse_) {
            blocks.push_back({origin_ + block_.granulepos, block_.W != 0});
            continue;
        }
        if (vorbis_analysis(&block_, nullptr) != 0 || vorbis_bitrate_addblock(&block_) != 0) {
            return false;
        }
        ogg_packet packet;
        while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) {
            packets.push_back(
                {origin_ + packet.granulepos, packet.e_o_s != 0,
                 static_cast<uint8_t>(block_.lW != 0), static_cast<uint8_t>(block_.W != 0),
                 static_cast<uint8_t>(block_.nW != 0), loudest_ != nullptr ? *loudest_ : 0.f,
                 std::vector<uint8_t>(packet.packet, packet.packet + packet.bytes)});
        }
    }
    return true;
}

OggMuxer::OggMuxer(int serial) {
    ogg_stream_init(&ogg_, serial);
}

OggMuxer::~OggMuxer() {
    ogg_stream_clear(&ogg_);
}

void OggMuxer::PutHeader(ogg_packet& packet) {
    ogg_stream_packetin(&ogg_, &packet);
}

void OggMuxer::Put(const Packet& packet) {
    ogg_packet out{};
    out.packet = const_cast<unsigned char*>(packet.bytes.data());
    out.bytes = static_cast<long>(packet.bytes.size());
    out.granulepos = packet.granule;
    out.e_o_s = packet.endOfStream ? 1 : 0;
    out.packetno = packetNumber_++;
    ogg_stream_packetin(&ogg_, &out);
    ogg_page page;
    while (ogg_stream_pageout(&ogg_, &page) != 0) {
        Queue(page);
    }
}

void OggMuxer::Flush() {
    ogg_page page;
    while (ogg_stream_flush(&ogg_, &page) != 0) {
        Queue(page);
    }
}

void OggMuxer::Queue(const ogg_page& page) {
    pending.insert(pending.end(), page.header, page.header + page.header_len);
    pending.insert(pending.end(), page.body, page.body + page.body_len);
}

}  // namespace vorbisstandin
