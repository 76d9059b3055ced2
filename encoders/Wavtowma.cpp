#include "Wavtowma.h"

#include <QString>

#include "EncoderLibrary.h"
#include "MessageBox.h"

namespace {
const char* const kCaption = WavToWma::Caption;

bool Failed(WmaResult result) {
    return result < 0;
}
}  // namespace

WavToWma::WavToWma() {
    library_ = encoders::LoadEncoderLibrary(
        "wmaudsdk.dll", kCaption, {encoders::Entry("WMAudioCreateWriter", createWriter_)});
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

int WavToWma::Open(const std::string& path, uint32_t sampleRate, uint16_t channels,
                   uint32_t bitrate) {
    if (library_ == nullptr || createWriter_ == nullptr) {
        return -1;  // construction has already said why
    }
    const WmaWaveFormat input = InputFormat(sampleRate, channels);
    const std::u16string widePath = QString::fromUtf8(path).toStdU16String();
    if (Failed(createWriter_(widePath.c_str(), &writer_))) {
        platform::MessageBox("Failed to Create Audio Writer", kCaption, platform::MbOk);
        return -1;
    }
    if (writer_ == nullptr) {
        // A library that reports success without a writer cannot be used either.
        platform::MessageBox("Failed to Create Audio Writer", kCaption, platform::MbOk);
        return -1;
    }
    if (Failed(writer_->table->SetInputFormat(writer_, &input))) {
        ReleaseWriter();
        platform::MessageBox("Failed to Set Input Format", kCaption, platform::MbOk);
        return -1;
    }
    if (Failed(writer_->table->SetOutputFormat(writer_, bitrate, 44100, 2, 0))) {
        ReleaseWriter();
        platform::MessageBox("Failed to Set Output Format", kCaption, platform::MbOk);
        return -1;
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
