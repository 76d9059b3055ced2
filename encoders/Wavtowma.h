// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "Library.h"
#include "MessageBox.h"
#include "WmaAudioApi.h"

// WMA back-end over the "wmaudsdk" library, whose audio writer writes the output file itself.
class WavToWma {
  public:
    // The caption of every message about this format.
    static constexpr const char* Caption = "WMA Audio SDK";

    static constexpr int kBlockSize = 16384;

    explicit WavToWma(platform::MessageTarget& messages = platform::ProcessMessages());
    ~WavToWma();
    WavToWma(const WavToWma&) = delete;
    WavToWma& operator=(const WavToWma&) = delete;

    // Returns 16384, the block size in bytes, or -1 after a message box.
    int Open(const std::string& path, uint32_t sampleRate, uint16_t channels, uint32_t bitrate);
    bool Write(const void* samples, uint32_t size);
    bool Close();

    // The input format given to the writer for 16-bit PCM of this rate and channel count.
    static WmaWaveFormat InputFormat(uint32_t sampleRate, uint16_t channels);

  private:
    void ReleaseWriter();
    // Shows the failure of `Open` and returns its result.
    int OpenFailed(const char* text);

    platform::MessageTarget& messages_;
    platform::LibraryHandle library_ = nullptr;
    WMAudioCreateWriterFn createWriter_ = nullptr;
    WmaAudioWriter* writer_ = nullptr;
};
