// SPDX-License-Identifier: GPL-3.0-or-later
#include "Wavtowma.h"

#include <QString>

#include "EncoderLibrary.h"

namespace {
const char* const kCaption = WavToWma::Caption;

bool Failed(WmaResult result) {
    return result < 0;
}
}  // namespace

WavToWma::WavToWma(platform::MessageTarget& messages) : messages_(messages) {
    library_ = encoders::LoadEncoderLibrary("wmaudsdk.dll", kCaption,
                                            {encoders::Entry("WMAudioCreateWriter", createWriter_)},
                                            messages);
}

WavToWma::~WavToWma() {
    if (writer_ != nullptr) {
        writer_->table->Finish(writer_);
        ReleaseWriter();
    }
    if (library_ != nullptr) {
        platform::FreeLibrary(library_);
        library_ = nullptr;
    }
}

WmaWaveFormat WavToWma::InputFormat(uint32_t sampleRate, uint16_t channels) {
    WmaWaveFormat format{};
    format.formatTag = 1;
    format.channels = channels;
    format.samplesPerSec = sampleRate;
    format.bitsPerSample = 16;
    format.blockAlign = static_cast<uint16_t>(channels * 2);
    format.avgBytesPerSec = format.blockAlign * sampleRate;
    format.extraSize = 0;
    return format;
}

void WavToWma::ReleaseWriter() {
    writer_->table->Release(writer_);
    writer_ = nullptr;
}

int WavToWma::OpenFailed(const char* text) {
    messages_.MessageBox(text, kCaption, platform::MbOk);
    return -1;
}

int WavToWma::Open(const std::string& path, uint32_t sampleRate, uint16_t channels,
                   uint32_t bitrate) {
    if (library_ == nullptr || createWriter_ == nullptr) {
        return -1;  // construction has already said why
    }
    const WmaWaveFormat input = InputFormat(sampleRate, channels);
    const std::u16string widePath = QString::fromUtf8(path).toStdU16String();
    // A library that reports success without a writer cannot be used either.
    if (Failed(createWriter_(widePath.c_str(), &writer_)) || writer_ == nullptr) {
        return OpenFailed("Failed to Create Audio Writer");
    }
    if (Failed(writer_->table->SetInputFormat(writer_, &input))) {
        ReleaseWriter();
        return OpenFailed("Failed to Set Input Format");
    }
    if (Failed(writer_->table->SetOutputFormat(writer_, bitrate, 44100, 2, 0))) {
        ReleaseWriter();
        return OpenFailed("Failed to Set Output Format");
    }
    return kBlockSize;
}

bool WavToWma::Write(const void* samples, uint32_t size) {
    if (size == 0) {
        return true;
    }
    if (writer_ == nullptr) {
        return false;
    }
    return !Failed(writer_->table->Write(writer_, static_cast<const uint8_t*>(samples), size));
}

bool WavToWma::Close() {
    if (writer_ == nullptr) {
        return true;
    }
    if (Failed(writer_->table->Finish(writer_))) {
        return false;  // kept: destruction tries once more
    }
    ReleaseWriter();
    return true;
}
