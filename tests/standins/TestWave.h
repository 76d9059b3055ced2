// SPDX-License-Identifier: GPL-3.0-or-later
// Writes small WAVE files for the tests: a tone, silence, or raw bytes under any header.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testwave {

struct WaveShape {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;
};

inline void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// A canonical 44-byte header followed by the data bytes as given.
inline bool WriteRaw(const std::string& path, const WaveShape& shape,
                     const std::vector<uint8_t>& data) {
    std::vector<uint8_t> file;
    const uint32_t blockAlign = shape.channels * shape.bitsPerSample / 8u;
    file.insert(file.end(), {'R', 'I', 'F', 'F'});
    PutLe(file, static_cast<uint32_t>(36 + data.size()), 4);
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(file, 16, 4);
    PutLe(file, shape.formatTag, 2);
    PutLe(file, shape.channels, 2);
    PutLe(file, shape.sampleRate, 4);
    PutLe(file, shape.sampleRate * blockAlign, 4);
    PutLe(file, blockAlign, 2);
    PutLe(file, shape.bitsPerSample, 2);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    PutLe(file, static_cast<uint32_t>(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

// A sine tone of the given peak (0 to 1) in every channel, 8- or 16-bit PCM.
inline bool WriteTone(const std::string& path, const WaveShape& shape, uint32_t frames,
                      double peak = 0.5, double frequency = 440.0) {
    std::vector<uint8_t> data;
    constexpr double kTwoPi = 6.283185307179586;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const double value = peak * std::sin(kTwoPi * frequency * frame / shape.sampleRate);
        for (uint16_t channel = 0; channel < shape.channels; ++channel) {
            if (shape.bitsPerSample == 8) {
                data.push_back(static_cast<uint8_t>(std::lround(128 + 127 * value)));
            } else {
                PutLe(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(32767 * value))),
                      2);
            }
        }
    }
    return WriteRaw(path, shape, data);
}

}  // namespace testwave
