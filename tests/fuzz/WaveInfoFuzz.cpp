// SPDX-License-Identifier: GPL-3.0-or-later
// The list's probe over arbitrary files: it must end, and what it reports must agree with itself.
#include <cstddef>
#include <cstdint>

#include "FuzzScratch.h"
#include "Waveinf.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::SilenceMessageBoxes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFile file("probe.wav");
    file.Write(data, size);
    WaveInfo info;
    if (!GetWaveInfo(file.Path(), info)) {
        return 0;
    }
    if (info.BitsPerSample != 8 && info.BitsPerSample != 16) {
        fuzzing::PropertyFailed("a listed file is neither 8- nor 16-bit");
    }
    if (info.FileSize != static_cast<uint32_t>(info.DataSize + 44)) {
        fuzzing::PropertyFailed("file size is not the data size plus the canonical header");
    }
    const uint64_t byteRate =
        static_cast<uint64_t>(info.SampleRate) * info.Channels * info.BitsPerSample / 8;
    if (byteRate != 0 && static_cast<uint64_t>(info.Seconds) * byteRate > info.DataSize) {
        fuzzing::PropertyFailed("duration longer than the data");
    }
    return 0;
}
