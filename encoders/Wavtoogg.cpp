#include "Wavtoogg.h"

#include <algorithm>

#include "EncoderLibrary.h"
#include "MessageBox.h"

namespace {
const char* const kCaption = WavToOgg::Caption;
}

WavToOgg::WavToOgg() {
    using encoders::Entry;
    library_ = encoders::LoadEncoderLibrary(
        "vorbis.dll", kCaption,
        {Entry("vbVersion", vbVersion_), Entry("vbEncOpen", vbEncOpen_),
         Entry("vbEncWrite", vbEncWrite_), Entry("vbEncClose", vbEncClose_)});
}

WavToOgg::~WavToOgg() {
    file_.Close();
    vbVersion_ = nullptr;
    vbEncOpen_ = nullptr;
    vbEncWrite_ = nullptr;
    vbEncClose_ = nullptr;
    stream_ = 0;
    if (library_ != nullptr) {
        platform::FreeLibrary(library_);
    }
    library_ = nullptr;
}

bool WavToOgg::Usable() const {
    return library_ != nullptr &&
           encoders::AllResolved(
               {reinterpret_cast<void*>(vbVersion_), reinterpret_cast<void*>(vbEncOpen_),
                reinterpret_cast<void*>(vbEncWrite_), reinterpret_cast<void*>(vbEncClose_)});
}

int WavToOgg::Open(const std::string& path, uint32_t sampleRate, uint32_t channels, float quality) {
    if (!Usable()) {
        return -1;  // construction has already said why
    }
    VorbisEncSettings settings{};
    settings.magic = 1024;
    settings.size = sizeof(VorbisEncSettings);
    settings.channels = channels;
    settings.sampleRate = sampleRate;
    settings.version = 300;
    settings.quality = quality;

    // The library may keep nothing of these texts beyond the call.
    std::string title = "Title Unknown";
    std::string artist = "Artist Unknown";
    std::string album = "Album Unknown";
    std::string comment = "Encoded with Vorbis DLL example";
    VorbisStreamInfo info{};
    info.size = sizeof(VorbisStreamInfo);
    info.word1 = 1;
    info.word2 = 1;
    info.word3 = 44;
    info.word4 = 1;
    info.title = title.c_str();
    info.artist = artist.c_str();
    info.album = album.c_str();
    info.comment = comment.c_str();
    info.word9 = 1;
    info.word10 = 1;

    uint32_t samplesPerChunk = 0;
    uint32_t bufferSize = 0;
    if (vbEncOpen_(&settings, &info, &samplesPerChunk, &bufferSize, &stream_) != 0) {
        platform::MessageBox("Failed to open the encoding stream.", kCaption, platform::MbOk);
        return -1;
    }
    if (!file_.Create(path)) {
        return -1;
    }
    buffer_.assign(bufferSize, 0);
    open_ = true;
    return static_cast<int>(samplesPerChunk * 2);
}

bool WavToOgg::Write(const void* samples, uint32_t size) {
    if (!open_) {
        return false;
    }
    if (vbEncWrite_(stream_, size / 2, static_cast<const int16_t*>(samples), buffer_.data(),
                    &outputBytes_) != 0) {
        platform::MessageBox("Failed to encode the data.", kCaption, platform::MbOk);
        return false;
    }
    return file_.Append(buffer_.data(), DeliveredBytes());
}

bool WavToOgg::Close() {
    if (!open_) {
        return true;
    }
    open_ = false;
    const bool finished = vbEncClose_(stream_, buffer_.data(), &outputBytes_) == 0;
    if (finished) {
        file_.Append(buffer_.data(), DeliveredBytes());
    } else {
        platform::MessageBox("Failed to close the encoder stream.", kCaption, platform::MbOk);
    }
    buffer_ = {};
    file_.Close();
    return finished;
}

uint32_t WavToOgg::DeliveredBytes() const {
    // A library that claims more than its buffer holds must not make us read past it.
    return std::min<uint32_t>(outputBytes_, static_cast<uint32_t>(buffer_.size()));
}

std::string WavToOgg::GetVersion() {
    if (!Usable()) {
        return {};
    }
    VorbisVersion version{};
    vbVersion_(&version);
    return "Vorbis DLL " + std::to_string(version.engineMajor) + "." +
           std::to_string(version.engineMinor);
}
