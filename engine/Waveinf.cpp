// SPDX-License-Identifier: GPL-3.0-or-later
#include "Waveinf.h"

#include <cstring>

#include "MessageBox.h"

namespace {

uint16_t U16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadExactly(std::FILE* stream, unsigned char* buffer, std::size_t size) {
    return std::fread(buffer, 1, size, stream) == size;
}

// Skips forward without trusting the declared size: a size that runs past the end of the file
// ends the walk instead of leaving the stream beyond it.
bool Skip(std::FILE* stream, uint32_t size) {
    if (size == 0) {
        return true;
    }
    const long here = std::ftell(stream);
    if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) {
        return false;
    }
    const long end = std::ftell(stream);
    if (end < 0 || static_cast<uint64_t>(end - here) < size) {
        return false;
    }
    return std::fseek(stream, here + static_cast<long>(size), SEEK_SET) == 0;
}

// Both readers read the same pieces in the same order: the 12-byte RIFF header, the 24-byte fmt
// piece, the rest of a longer fmt chunk, then chunk headers until "data".

// Reads the fmt piece. False when the file has no "fmt " chunk at offset 12.
bool ReadFormat(std::FILE* stream, WaveFormat& header, uint32_t& fmtSize) {
    unsigned char riff[12];
    unsigned char fmt[24];
    if (!ReadExactly(stream, riff, sizeof riff) || !ReadExactly(stream, fmt, sizeof fmt)) {
        return false;
    }
    if (std::memcmp(fmt, "fmt ", 4) != 0) {
        return false;
    }
    fmtSize = U32(fmt + 4);
    header.FormatTag = U16(fmt + 8);
    header.Channels = U16(fmt + 10);
    header.SampleRate = U32(fmt + 12);
    header.BitsPerSample = U16(fmt + 22);
    return true;
}

// Skips the fmt chunk's extra bytes and walks to the data chunk; false at the end of the file.
bool FindData(std::FILE* stream, uint32_t fmtSize, WaveFormat& header) {
    if (fmtSize > 16 && !Skip(stream, fmtSize - 16)) {
        return false;
    }
    unsigned char chunk[8];
    for (;;) {
        if (!ReadExactly(stream, chunk, sizeof chunk)) {
            return false;
        }
        if (std::memcmp(chunk, "data", 4) == 0) {
            header.DataSize = U32(chunk + 4);
            return true;
        }
        // No pad byte after an odd-sized chunk: files from the tools this reads never have one.
        if (!Skip(stream, U32(chunk + 4))) {
            return false;
        }
    }
}

// The worker's message for a source that holds no WAVE header.
void ReportNotWave(platform::MessageTarget& messages) {
    messages.MessageBox("This is not a valid Wave file", "Error", platform::MbOk);
}

// The probe's.
void ReportProbeNotWave(platform::MessageTarget& messages) {
    messages.ApplicationMessageBox("This is not a valid Wave file.", "ERROR", platform::MbOk);
}

}  // namespace

void ReportUnopenedSource(const std::string& path, OpenFailure failure,
                          platform::MessageTarget& messages) {
    if (failure == OpenFailure::NotRegularFile) {
        ReportNotWave(messages);
        return;
    }
    messages.MessageBox("Could not open '" + path + "'", "Error", platform::MbOk);
}

void ReportChannelCount(const std::string& path, unsigned channels,
                        platform::MessageTarget& messages) {
    messages.MessageBox("Could not convert '" + path + "': it has " + std::to_string(channels) +
                            " channels; only mono and stereo files can be converted",
                        "Error", platform::MbOk);
}

bool GetWaveInfo(const std::string& path, WaveInfo& info) {
    info = WaveInfo{};
    OpenFailure failure = OpenFailure::None;
    std::FILE* stream = platform::OpenRegularFile(path, failure);
    if (stream == nullptr) {
        if (failure == OpenFailure::NotRegularFile) {
            ReportProbeNotWave(platform::ProcessMessages());
        } else {
            platform::ProcessMessages().ShowPlainMessage("Cannot open the file!");
        }
        return false;
    }
    const bool listable = ProbeWave(stream, info, platform::ProcessMessages());
    std::fclose(stream);
    return listable;
}

bool ProbeWave(std::FILE* stream, WaveInfo& info, platform::MessageTarget& messages) {
    info = WaveInfo{};
    WaveFormat header;
    uint32_t fmtSize = 0;
    const bool hasFormat = ReadFormat(stream, header, fmtSize);
    if (hasFormat) {
        info.Channels = header.Channels;
        info.SampleRate = header.SampleRate;
        info.BitsPerSample = header.BitsPerSample;
    }
    if (!hasFormat || !FindData(stream, fmtSize, header)) {
        info = WaveInfo{};
        ReportProbeNotWave(messages);
        return false;
    }
    info.DataSize = header.DataSize;
    info.FileSize = header.DataSize + 44;
    const uint64_t byteRate =
        static_cast<uint64_t>(info.SampleRate) * info.Channels * info.BitsPerSample / 8;
    info.Seconds = byteRate == 0 ? 0 : static_cast<uint32_t>(info.DataSize / byteRate);
    if (ListableBitDepth(info.BitsPerSample)) {
        return true;
    }
    messages.ShowPlainMessage(kNotPcmMessage);
    return false;
}

std::optional<WaveFormat> ReadWaveHeader(std::FILE* stream, platform::MessageTarget& messages) {
    WaveFormat format;
    uint32_t fmtSize = 0;
    if (!ReadFormat(stream, format, fmtSize)) {
        ReportNotWave(messages);
        return std::nullopt;
    }
    if (format.FormatTag != 1) {
        messages.MessageBox("Can not handle compressed Wave file", "Error", platform::MbOk);
        return std::nullopt;
    }
    if (!FindData(stream, fmtSize, format)) {
        ReportNotWave(messages);
        return std::nullopt;
    }
    return format;
}
