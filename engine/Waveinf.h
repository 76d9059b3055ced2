// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "MessageBox.h"
#include "RegularFile.h"

// Facts of a WAVE header as the file list shows them.
struct WaveInfo {
    uint32_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t BitsPerSample = 0;
    uint32_t DataSize = 0;
    uint32_t FileSize = 0;  // DataSize plus a canonical 44-byte header
    uint32_t Seconds = 0;
};

// Facts of a WAVE header as the conversion needs them.
struct WaveFormat {
    uint16_t FormatTag = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint16_t BitsPerSample = 0;
    // Unsigned: a data chunk of 2 GiB or more is still a data chunk.
    uint32_t DataSize = 0;
};

using OpenFailure = platform::OpenFailure;

// The worker's message for a source that OpenRegularFile refused: a pipe or device is not a WAVE
// file, anything else could not be opened.
void ReportUnopenedSource(const std::string& path, OpenFailure failure,
                          platform::MessageTarget& messages);

// The list takes 8- and 16-bit samples only; anything else is refused with this message.
inline bool ListableBitDepth(uint32_t bitsPerSample) {
    return bitsPerSample == 8 || bitsPerSample == 16;
}
inline constexpr const char* kNotPcmMessage = "Not PCM formats!";

// Probes a file for the list. False after a message: the file may not be listed.
bool GetWaveInfo(const std::string& path, WaveInfo& info);
// The same probe of a stream opened at offset 0, its messages to `messages`; the stream is left
// anywhere.
bool ProbeWave(std::FILE* stream, WaveInfo& info, platform::MessageTarget& messages);

// The worker's refusal of a file with other than one or two channels.
void ReportChannelCount(const std::string& path, unsigned channels,
                        platform::MessageTarget& messages);

// Reads the header of a source opened at offset 0 and leaves it at the first sample byte.
// Empty after a message to `messages`: the file is skipped.
std::optional<WaveFormat> ReadWaveHeader(
    std::FILE* stream, platform::MessageTarget& messages = platform::ProcessMessages());
