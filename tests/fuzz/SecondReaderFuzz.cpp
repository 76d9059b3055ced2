// SPDX-License-Identifier: GPL-3.0-or-later
// sonvert-batch's second reader over arbitrary files, from the bytes to the 16-bit blocks: it must
// end (libsndfile itself loops for ever on some malformed chunks), give one or two channels and
// whole frames, and never more samples than it declared.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "FuzzScratch.h"
#include "RegularFile.h"
#include "SndfileSource.h"

namespace {

class Quiet final : public platform::MessageTarget {
  public:
    void Show(const platform::BoxRecord&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::SilenceMessageBoxes();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const fuzzing::ScratchFile file("source.wav");
    file.Write(data, size);
    platform::OpenFailure failure = platform::OpenFailure::None;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(
        platform::OpenRegularFile(file.Path(), failure), &std::fclose);
    if (!stream) {
        fuzzing::PropertyFailed("a plain file could not be opened");
    }
    Quiet quiet;
    const std::unique_ptr<AudioSource> source = OpenWithSndfile(stream.get(), file.Path(), quiet);
    if (!source) {
        return 0;
    }
    const SourceShape& shape = source->Shape();
    if ((shape.Channels != 1 && shape.Channels != 2) || shape.SampleRate == 0) {
        fuzzing::PropertyFailed("a source of other than one or two channels, or no rate");
    }
    // An MP3 encoder's block of 1152 stereo frames, and an odd size that is not whole frames.
    const std::size_t frameBytes = 2u * shape.Channels;
    std::vector<int16_t> block(1152 * 2 + 1);
    uint64_t total = 0;
    for (int i = 0; i < 4096; ++i) {
        const std::size_t want = i % 2 == 0 ? 1152 * frameBytes : 333;
        const std::size_t got = source->Read(block.data(), want);
        if (got > want || got % frameBytes != 0) {
            fuzzing::PropertyFailed("a read gave more than asked, or not whole frames");
        }
        total += got;
        if (got == 0 && want >= frameBytes) {
            break;
        }
    }
    if (total > shape.Bytes) {
        fuzzing::PropertyFailed("more samples than the source declared");
    }
    return 0;
}
