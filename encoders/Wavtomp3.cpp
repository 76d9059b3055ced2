#include "Wavtomp3.h"

#include <algorithm>
#include <array>
#include <utility>

#include "EncoderLibrary.h"
#include "MessageBox.h"

namespace {
const char* const kCaption = WavToMp3::Caption;
}

WavToMp3::WavToMp3() {
    using encoders::Entry;
    library_ = encoders::LoadEncoderLibrary(
        "lame_enc.dll", kCaption,
        {Entry("beInitStream", beInitStream_), Entry("beEncodeChunk", beEncodeChunk_),
         Entry("beVersion", beVersion_), Entry("beDeinitStream", beDeinitStream_),
         Entry("beCloseStream", beCloseStream_)});
}

WavToMp3::~WavToMp3() {
    file_.Close();
    if (library_ != nullptr) {
        platform::FreeLibrary(library_);
    }
    library_ = nullptr;
    beInitStream_ = nullptr;
    beEncodeChunk_ = nullptr;
    beVersion_ = nullptr;
    beDeinitStream_ = nullptr;
    beCloseStream_ = nullptr;
}

bool WavToMp3::Usable() const {
    return library_ != nullptr &&
           encoders::AllResolved(
               {reinterpret_cast<void*>(beInitStream_), reinterpret_cast<void*>(beEncodeChunk_),
                reinterpret_cast<void*>(beVersion_), reinterpret_cast<void*>(beDeinitStream_),
                reinterpret_cast<void*>(beCloseStream_)});
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
        platform::MessageBox("Could not initialize Lame encoder", kCaption, platform::MbOk);
        return -1;
    }
    if (!file_.Create(path)) {
        return -1;
    }
    buffer_.assign(bufferSize, 0);
    open_ = true;
    return static_cast<int>(samplesPerChunk * 2);
}

int WavToMp3::Write(const void* samples, uint32_t size) {
    if (!open_) {
        return -1;
    }
    if (beEncodeChunk_(stream_, size / 2, static_cast<const int16_t*>(samples), buffer_.data(),
                       &outputBytes_) != 0) {
        platform::MessageBox("Could not perform compression", kCaption, platform::MbOk);
        return -1;
    }
    const uint32_t encoded = DeliveredBytes();
    if (!file_.Append(buffer_.data(), encoded)) {
        return -1;
    }
    return static_cast<int>(encoded);
}

bool WavToMp3::Close() {
    if (!open_) {
        return true;
    }
    open_ = false;
    const bool finished = beDeinitStream_(stream_, buffer_.data(), &outputBytes_) == 0;
    if (finished) {
        file_.Append(buffer_.data(), DeliveredBytes());
    }
    beCloseStream_(stream_);
    buffer_ = {};
    file_.Close();
    return finished;
}

uint32_t WavToMp3::DeliveredBytes() const {
    // A library that claims more than its buffer holds must not make us read past it.
    return std::min<uint32_t>(outputBytes_, static_cast<uint32_t>(buffer_.size()));
}

std::string WavToMp3::GetVersion() {
    if (!Usable()) {
        return {};
    }
    LameVersion version{};
    beVersion_(&version);
    return "lame-enc " + std::to_string(version.engineMajor) + "." +
           std::to_string(version.engineMinor);
}
