// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "BufferedBackEnd.h"
#include "LameEncApi.h"

// MP3 back-end over the "lame_enc" library, which encodes into a buffer that we write out.
class WavToMp3 : public encoders::BufferedBackEnd {
  public:
    // The caption of every message about this format.
    static constexpr const char* Caption = "Lame Encoder";

    explicit WavToMp3(platform::MessageTarget& messages = platform::ProcessMessages());

    // Returns the block size in bytes, or -1 after a message box.
    int Open(const std::string& path, uint32_t sampleRate, int modeSelector, uint32_t bitrate,
             bool copyright, bool crc, bool original, bool privateFlag);
    // Returns the number of encoded bytes written, or -1 after a message box.
    int Write(const void* samples, uint32_t size);
    // False when the library could not finish the stream: the file then lacks its last frames.
    bool Close();
    std::string GetVersion() { return VersionText("lame-enc ", beVersion_); }

    // The bitrate the library is given for a requested one, in kbit/s.
    static uint16_t SnapBitrate(uint32_t requested);
    // The configuration's mode byte for a channel-mode selector (1 stereo ... 4 mono).
    static uint8_t ModeByte(int selector);

  private:
    BeInitStreamFn beInitStream_ = nullptr;
    BeEncodeChunkFn beEncodeChunk_ = nullptr;
    BeVersionFn beVersion_ = nullptr;
    BeDeinitStreamFn beDeinitStream_ = nullptr;
    BeCloseStreamFn beCloseStream_ = nullptr;
    LameStream stream_ = 0;
};
