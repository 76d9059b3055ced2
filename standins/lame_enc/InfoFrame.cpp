// SPDX-License-Identifier: GPL-3.0-or-later
#include "InfoFrame.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace lamestandin {
namespace {

constexpr std::array<int, 15> kMpeg1Bitrates{0,   32,  40,  48,  56,  64,  80, 96,
                                             112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 15> kMpeg2Bitrates{0,  8,  16, 24,  32,  40,  48, 56,
                                             64, 80, 96, 112, 128, 144, 160};

// Xing's fields (tag, flags, frames, bytes, seek table, quality), then LAME's extension.
constexpr int kXingBytes = 120;
constexpr int kTagBytes = kXingBytes + 36;

// The frame header's CRC: over its last two bytes and the side information.
uint16_t FrameCrc(const uint8_t* header, const uint8_t* side, int sideBytes) {
    uint16_t crc = 0xFFFF;
    auto feed = [&crc](uint8_t byte) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = ((crc >> 15) ^ (byte >> bit)) & 1;
            crc = static_cast<uint16_t>(crc << 1);
            if (top) {
                crc ^= 0x8005;
            }
        }
    };
    feed(header[2]);
    feed(header[3]);
    std::for_each(side, side + sideBytes, feed);
    return crc;
}

// The tag's own CRC (CRC-16 with the reflected polynomial 0xA001).
uint16_t TagCrc(const uint8_t* data, std::size_t size) {
    uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                                 : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

int RateIndex(int rate) {
    switch (rate) {
        case 44100:
        case 22050:
        case 11025:
            return 0;
        case 48000:
        case 24000:
        case 12000:
            return 1;
        default:
            return 2;
    }
}

}  // namespace

std::vector<uint8_t> PlaceholderInfoFrame(const Mp3Settings& settings, lame_t encoder, int delay) {
    const int rate = settings.outputRate;
    const bool mpeg1 = rate >= 32000;
    const int versionBits = mpeg1 ? 3 : rate >= 16000 ? 2 : 0;
    const bool mono = settings.channels == 1;
    const int sideBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    // Where decoders look for the tag: after the side information as if the frame had no CRC,
    // whose two bytes then shift the side information over the tag's first two.
    const int tagAt = 4 + sideBytes;
    const auto& bitrates = mpeg1 ? kMpeg1Bitrates : kMpeg2Bitrates;
    auto frameBytes = [&](int index) { return (mpeg1 ? 144000 : 72000) * bitrates[index] / rate; };
    int index = static_cast<int>(std::find(bitrates.begin(), bitrates.end(), settings.bitrate) -
                                 bitrates.begin());
    if (index >= static_cast<int>(bitrates.size()) || frameBytes(index) < tagAt + kTagBytes) {
        index = 1;
        while (frameBytes(index) < tagAt + kTagBytes) {
            ++index;
        }
    }
    std::vector<uint8_t> frame(static_cast<std::size_t>(frameBytes(index)));
    uint8_t* h = frame.data();
    h[0] = 0xFF;
    h[1] = static_cast<uint8_t>(0xE2 | versionBits << 3 | (settings.crc ? 0 : 1));
    h[2] = static_cast<uint8_t>(index << 4 | RateIndex(rate) << 2 | (settings.privateFlag ? 1 : 0));
    h[3] = static_cast<uint8_t>(static_cast<int>(settings.mode) << 6 |
                                (settings.copyright ? 8 : 0) | (settings.original ? 4 : 0));
    uint8_t* xing = h + tagAt;
    std::memcpy(xing, "Info", 4);
    if (settings.crc) {
        const uint16_t crc = FrameCrc(h, h + 6, sideBytes);
        h[4] = static_cast<uint8_t>(crc >> 8);
        h[5] = static_cast<uint8_t>(crc);
    }
    xing[7] = 0x0F;  // frames, bytes, seek table and quality follow, as yet zero
    xing[kXingBytes - 1] = static_cast<uint8_t>(
        std::clamp(100 - 10 * lame_get_VBR_q(encoder) - lame_get_quality(encoder), 0, 100));
    uint8_t* lame = xing + kXingBytes;
    char version[16];
    std::snprintf(version, sizeof version, "LAME%-5.5s", get_lame_short_version());
    std::memcpy(lame, version, 9);
    lame[9] = 1;  // revision 0, constant bitrate
    lame[10] = static_cast<uint8_t>(std::clamp((lame_get_lowpassfreq(encoder) + 50) / 100, 0, 255));
    lame[19] = static_cast<uint8_t>(lame_get_ATHtype(encoder) & 0x0F);
    lame[20] = static_cast<uint8_t>(std::min(settings.bitrate, 255));
    lame[21] = static_cast<uint8_t>(delay >> 4);
    lame[22] = static_cast<uint8_t>((delay & 0x0F) << 4);
    const int inputRate = settings.inputRate;
    const int sourceRate = inputRate <= 32000   ? 0
                           : inputRate <= 44100 ? 1
                           : inputRate <= 48000 ? 2
                                                : 3;
    // LAME's stereo codes: 0 mono, 1 stereo, 2 dual channel, 3 joint stereo.
    const int stereo = mono                            ? 0
                       : settings.mode == JOINT_STEREO ? 3
                       : settings.mode == DUAL_CHANNEL ? 2
                                                       : 1;
    lame[24] = static_cast<uint8_t>(sourceRate << 6 | stereo << 2);
    const std::size_t crcAt = static_cast<std::size_t>(tagAt + kTagBytes - 2);
    const uint16_t crc = TagCrc(frame.data(), crcAt);
    frame[crcAt] = static_cast<uint8_t>(crc >> 8);
    frame[crcAt + 1] = static_cast<uint8_t>(crc);
    return frame;
}

}  // namespace lamestandin
