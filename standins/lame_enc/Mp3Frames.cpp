// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3Frames.h"

namespace lamestandin {

std::optional<std::vector<FrameInfo>> ReadFrames(const std::vector<uint8_t>& bytes) {
    static const int kBitrates[2][15] = {
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static const int kRates[3][3] = {
        {11025, 12000, 8000}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    std::vector<FrameInfo> frames;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 4) {
            return std::nullopt;
        }
        const uint8_t* h = bytes.data() + at;
        const int versionBits = (h[1] >> 3) & 3;
        const int bitrateIndex = h[2] >> 4;
        const int rateIndex = (h[2] >> 2) & 3;
        if (h[0] != 0xFF || (h[1] & 0xE6) != 0xE2 || versionBits == 1 || bitrateIndex == 0 ||
            bitrateIndex == 15 || rateIndex == 3) {
            return std::nullopt;
        }
        const bool mpeg1 = versionBits == 3;
        const int bitrate = kBitrates[mpeg1 ? 1 : 0][bitrateIndex];
        const int rate = kRates[mpeg1 ? 2 : versionBits == 2 ? 1 : 0][rateIndex];
        FrameInfo frame;
        frame.offset = at;
        frame.size =
            static_cast<std::size_t>((mpeg1 ? 144000 : 72000) * bitrate / rate + ((h[2] >> 1) & 1));
        const int channels = (h[3] >> 6) == 3 ? 1 : 2;
        const int sideBytes = mpeg1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
        frame.slot = at + 4 + ((h[1] & 1) == 0 ? 2 : 0) + static_cast<std::size_t>(sideBytes);
        if (frame.slot > at + frame.size || at + frame.size > bytes.size()) {
            return std::nullopt;
        }
        // Side information: main_data_begin, then each granule's part2_3_length among fields of
        // fixed width.
        std::size_t bit = (frame.slot - static_cast<std::size_t>(sideBytes)) * 8;
        auto read = [&](int width) {
            int value = 0;
            for (int i = 0; i < width; ++i, ++bit) {
                value = value << 1 | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
            }
            return value;
        };
        frame.mainDataBegin = read(mpeg1 ? 9 : 8);
        bit += static_cast<std::size_t>(mpeg1 ? (channels == 1 ? 9 : 11) : channels);
        int mainBits = 0;
        for (int granule = 0; granule < (mpeg1 ? 2 : 1) * channels; ++granule) {
            mainBits += read(12);
            bit += mpeg1 ? 47 : 51;
        }
        frame.mainDataBytes = (mainBits + 7) / 8;
        frames.push_back(frame);
        at += frame.size;
    }
    return frames;
}

ReservoirMap::ReservoirMap(const std::vector<FrameInfo>& frames) {
    slotStart.push_back(0);
    for (const FrameInfo& frame : frames) {
        dataEnd.push_back(slotStart.back() - frame.mainDataBegin + frame.mainDataBytes);
        slotStart.push_back(slotStart.back() +
                            static_cast<int64_t>(frame.offset + frame.size - frame.slot));
    }
}

}  // namespace lamestandin
