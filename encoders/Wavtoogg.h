// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "BufferedBackEnd.h"
#include "VorbisEncApi.h"

// Ogg Vorbis back-end over the "vorbis" library, which encodes into a buffer that we write out.
class WavToOgg : public encoders::BufferedBackEnd {
  public:
    // The caption of every message about this format.
    static constexpr const char* Caption = "vorbis";

    explicit WavToOgg(platform::MessageTarget& messages = platform::ProcessMessages());

    // Returns the block size in bytes, or -1 after a message box.
    int Open(const std::string& path, uint32_t sampleRate, uint32_t channels, float quality);
    bool Write(const void* samples, uint32_t size) {
        return Encode("Failed to encode the data.", vbEncWrite_, stream_, size / 2,
                      static_cast<const int16_t*>(samples));
    }
    // False when the library could not finish the stream (after its message).
    bool Close();
    std::string GetVersion() { return VersionText("Vorbis DLL ", vbVersion_); }

  private:
    VorbisStream stream_ = 0;
    VbVersionFn vbVersion_ = nullptr;
    VbEncOpenFn vbEncOpen_ = nullptr;
    VbEncWriteFn vbEncWrite_ = nullptr;
    VbEncCloseFn vbEncClose_ = nullptr;
};
