// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3Rates.h"

#include <algorithm>
#include <array>

namespace lamestandin {
namespace {

constexpr std::array<uint32_t, 14> kMpeg1{32,  40,  48,  56,  64,  80,  96,
                                          112, 128, 160, 192, 224, 256, 320};
constexpr std::array<uint32_t, 14> kMpeg2{8,  16, 24, 32,  40,  48,  56,
                                          64, 80, 96, 112, 128, 144, 160};
// libmp3lame writes no MPEG-2.5 frame above 64 kbit/s.
constexpr std::array<uint32_t, 8> kMpeg25{8, 16, 24, 32, 40, 48, 56, 64};

constexpr std::array<uint32_t, 9> kRates{8000,  11025, 12000, 16000, 22050,
                                         24000, 32000, 44100, 48000};

template <std::size_t N>
bool Contains(const std::array<uint32_t, N>& list, uint32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

bool BitrateLegalAt(uint32_t sampleRate, uint32_t bitrate) {
    switch (sampleRate) {
        case 32000:
        case 44100:
        case 48000:
            return Contains(kMpeg1, bitrate);
        case 16000:
        case 22050:
        case 24000:
            return Contains(kMpeg2, bitrate);
        case 8000:
        case 11025:
        case 12000:
            return Contains(kMpeg25, bitrate);
        default:
            return false;
    }
}

std::optional<uint32_t> OutputRateFor(uint32_t inputRate, uint32_t bitrate) {
    if (BitrateLegalAt(inputRate, bitrate)) {
        return inputRate;
    }
    std::optional<uint32_t> best;
    uint64_t bestDistance = 0;
    for (const uint32_t rate : kRates) {
        if (!BitrateLegalAt(rate, bitrate)) {
            continue;
        }
        const uint64_t distance = rate > inputRate ? rate - inputRate : inputRate - rate;
        // Ascending rates: on a tie the later, higher rate wins.
        if (!best || distance <= bestDistance) {
            best = rate;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace lamestandin
