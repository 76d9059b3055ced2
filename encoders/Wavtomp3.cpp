// SPDX-License-Identifier: GPL-3.0-or-later
#include "Wavtomp3.h"

#include <array>
#include <utility>

WavToMp3::WavToMp3(platform::MessageTarget& messages) : BufferedBackEnd(Caption, messages) {
    using encoders::Entry;
    Load("lame_enc.dll",
         {Entry("beInitStream", beInitStream_), Entry("beEncodeChunk", beEncodeChunk_),
          Entry("beVersion", beVersion_), Entry("beDeinitStream", beDeinitStream_),
          Entry("beCloseStream", beCloseStream_)});
}

uint16_t WavToMp3::SnapBitrate(uint32_t requested) {
    // 67, not 72, is the top of the 64 kbit/s step.
    static constexpr std::array<std::pair<uint32_t, uint16_t>, 13> kSteps{{{36, 32},
                                                                           {44, 40},
                                                                           {52, 48},
                                                                           {60, 56},
                                                                           {67, 64},
                                                                           {88, 80},
                                                                           {104, 96},
                                                                           {120, 112},
                                                                           {144, 128},
                                                                           {176, 160},
                                                                           {208, 192},
                                                                           {240, 224},
                                                                           {288, 256}}};
    for (const auto& [limit, bitrate] : kSteps) {
        if (requested <= limit) {
            return bitrate;
        }
    }
    return 320;
}

uint8_t WavToMp3::ModeByte(int selector) {
    switch (selector) {
        case 2:
            return 1;
        case 3:
            return 2;
        case 4:
            return 3;
        default:
            return 0;
    }
}

int WavToMp3::Open(const std::string& path, uint32_t sampleRate, int modeSelector, uint32_t bitrate,
                   bool copyright, bool crc, bool original, bool privateFlag) {
    if (!Usable()) {
        return -1;  // construction has already said why
    }
    LameConfig config{};
    config.kind = 0;
    config.sampleRate = sampleRate;
    config.mode = ModeByte(modeSelector);
    config.bitrate = SnapBitrate(bitrate);
    config.privateFlag = privateFlag ? 1 : 0;
    config.crc = crc ? 1 : 0;
    config.copyright = copyright ? 1 : 0;
    config.original = original ? 1 : 0;

    uint32_t samplesPerChunk = 0;
    uint32_t bufferSize = 0;
    if (beInitStream_(&config, &samplesPerChunk, &bufferSize, &stream_) != 0) {
        Report("Could not initialize Lame encoder");
        return -1;
    }
    return Start(path, samplesPerChunk, bufferSize);
}

int WavToMp3::Write(const void* samples, uint32_t size) {
    if (!Encode("Could not perform compression", beEncodeChunk_, stream_, size / 2,
                static_cast<const int16_t*>(samples))) {
        return -1;
    }
    return static_cast<int>(DeliveredBytes());
}

bool WavToMp3::Close() {
    if (!IsOpen()) {
        return true;
    }
    const bool finished = Flush(nullptr, beDeinitStream_, stream_);
    beCloseStream_(stream_);
    EndFile();
    return finished;
}
