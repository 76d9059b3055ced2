// SPDX-License-Identifier: GPL-3.0-or-later
// The worker's header reader over arbitrary files: it must end, agree with the list's probe, and
// leave the stream right after a data chunk's header inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "FuzzScratch.h"
#include "Waveinf.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::SilenceMessageBoxes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFile file("source.wav");
    file.Write(data, size);
    OpenFailure failure = OpenFailure::None;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(
        platform::OpenRegularFile(file.Path(), failure), &std::fclose);
    if (!stream) {
        fuzzing::PropertyFailed("a plain file could not be opened");
    }
    const std::optional<WaveFormat> format = ReadWaveHeader(stream.get());
    if (!format) {
        return 0;
    }
    const long at = std::ftell(stream.get());
    if (at < 44 || static_cast<std::size_t>(at) > size) {
        fuzzing::PropertyFailed("stream left outside the file");
    }
    const uint8_t* chunk = data + at - 8;
    const uint32_t declared =
        static_cast<uint32_t>(chunk[4]) | (static_cast<uint32_t>(chunk[5]) << 8) |
        (static_cast<uint32_t>(chunk[6]) << 16) | (static_cast<uint32_t>(chunk[7]) << 24);
    if (std::memcmp(chunk, "data", 4) != 0 || declared != format->DataSize) {
        fuzzing::PropertyFailed("stream not right after the data chunk's header");
    }
    if (format->FormatTag != 1) {
        fuzzing::PropertyFailed("a compressed file was accepted");
    }
    WaveInfo info;
    if (GetWaveInfo(file.Path(), info) &&
        (info.Channels != format->Channels || info.SampleRate != format->SampleRate ||
         info.BitsPerSample != format->BitsPerSample || info.DataSize != format->DataSize)) {
        fuzzing::PropertyFailed("the probe and the worker read different headers");
    }
    return 0;
}
