#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "EncodedFile.h"
#include "Library.h"
#include "VorbisEncApi.h"

// Ogg Vorbis back-end over the "vorbis" library, which encodes into a buffer that we write out.
class WavToOgg {
  public:
    // The caption of every message about this format.
    static constexpr const char* Caption = "vorbis";

    WavToOgg();
    ~WavToOgg();
    WavToOgg(const WavToOgg&) = delete;
    WavToOgg& operator=(const WavToOgg&) = delete;

    // Returns the block size in bytes, or -1 after a message box.
    int Open(const std::string& path, uint32_t sampleRate, uint32_t channels, float quality);
    bool Write(const void* samples, uint32_t size);
    // False when the library could not finish the stream (after its message).
    bool Close();
    std::string GetVersion();
    // True once the output file refused a write or its close.
    bool FileFailed() const { return file_.Failed(); }

  private:
    bool Usable() const;
    uint32_t DeliveredBytes() const;

    platform::LibraryHandle library_ = nullptr;
    encoders::EncodedFile file_{"vorbis"};
    VorbisStream stream_ = 0;
    std::vector<uint8_t> buffer_;
    uint32_t outputBytes_ = 0;
    VbVersionFn vbVersion_ = nullptr;
    VbEncOpenFn vbEncOpen_ = nullptr;
    VbEncWriteFn vbEncWrite_ = nullptr;
    VbEncCloseFn vbEncClose_ = nullptr;
    bool open_ = false;
};
