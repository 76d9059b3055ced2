// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "Waveinf.h"

// What a source gives the back-ends: 16-bit samples, one or two channels.
struct SourceShape {
    uint32_t SampleRate = 0;
    uint16_t Channels = 0;
    // The bytes of 16-bit samples that Read gives in all, as the file declares them (it may end
    // sooner): what the progress counts against.
    uint64_t Bytes = 0;
    // What the rule for short MP3 files measures: the data chunk's declared size for a classic
    // source, Bytes for any other.
    uint64_t ShortFileBytes = 0;
    // The MP3 path sends whole blocks, silence after the end (the classic reader's 8-bit files).
    bool WholeBlocks = false;
};

// One open source, read from start to end in blocks; the pump and the back-ends do not know which
// reader stands behind it.
class AudioSource {
  public:
    virtual ~AudioSource() = default;
    virtual const SourceShape& Shape() const = 0;
    // Reads up to `bytes` bytes of 16-bit samples into `into` (room for as many, rounded up);
    // the number given, 0 at the end.
    virtual std::size_t Read(int16_t* into, std::size_t bytes) = 0;
    // The system's error number when reading failed part-way, else 0.
    virtual int ReadError() const = 0;
    // Why reading stopped early although the system reported nothing (a damaged file), else empty.
    virtual std::string DecodeError() const { return {}; }
    // Said once the whole source has been read (the count of samples clipped), else empty.
    virtual std::string Notice() const { return {}; }
    // The descriptor of the open file, for its identity.
    virtual int Descriptor() const = 0;
};

// The classic reader's samples from a stream left at the first sample byte by ReadWaveHeader.
// The stream stays the caller's.
std::unique_ptr<AudioSource> ClassicSource(std::FILE* stream, const WaveFormat& format);
