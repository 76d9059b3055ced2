#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "EncodedFile.h"
#include "LameEncApi.h"
#include "Library.h"

// MP3 back-end over the "lame_enc" library, which encodes into a buffer that we write out.
class WavToMp3 {
  public:
    // The caption of every message about this format.
    static constexpr const char* Caption = "Lame Encoder";

    WavToMp3();
    ~WavToMp3();
    WavToMp3(const WavToMp3&) = delete;
    WavToMp3& operator=(const WavToMp3&) = delete;

    // Returns the block size in bytes, or -1 after a message box.
    int Open(const std::string& path, uint32_t sampleRate, int modeSelector, uint32_t bitrate,
             bool copyright, bool crc, bool original, bool privateFlag);
    // Returns the number of encoded bytes written, or -1 after a message box.
    int Write(const void* samples, uint32_t size);
    // False when the library could not finish the stream: the file then lacks its last frames.
    bool Close();
    std::string GetVersion();
    // True once the output file refused a write or its close.
    bool FileFailed() const { return file_.Failed(); }

    // The bitrate the library is given for a requested one, in kbit/s.
    static uint16_t SnapBitrate(uint32_t requested);
    // The configuration's mode byte for a channel-mode selector (1 stereo ... 4 mono).
    static uint8_t ModeByte(int selector);

  private:
    bool Usable() const;
    uint32_t DeliveredBytes() const;

    platform::LibraryHandle library_ = nullptr;
    BeInitStreamFn beInitStream_ = nullptr;
    BeEncodeChunkFn beEncodeChunk_ = nullptr;
    BeVersionFn beVersion_ = nullptr;
    BeDeinitStreamFn beDeinitStream_ = nullptr;
    BeCloseStreamFn beCloseStream_ = nullptr;
    LameStream stream_ = 0;
    uint32_t outputBytes_ = 0;
    encoders::EncodedFile file_{"Lame Encoder"};
    std::vector<uint8_t> buffer_;
    bool open_ = false;
};
