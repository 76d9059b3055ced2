// SPDX-License-Identifier: GPL-3.0-or-later
// Builds WAVE files byte by byte, so tests can produce every layout a reader may meet.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct WaveLayout {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;
    uint32_t fmtSize = 16;                  // extra fmt bytes beyond 16 are zero-filled
    std::vector<std::string> chunksBefore;  // whole chunks (id + size + body) before "data"
    std::string data;                       // the sample bytes
    int64_t declaredDataSize = -1;          // the data chunk's size field; -1: data.size()
    std::string after;                      // bytes after the data chunk
    std::string firstChunk;                 // a chunk placed before "fmt " (a malformed file)
};

std::string Le16(uint16_t value);
std::string Le32(uint32_t value);
// One chunk: id, size and body (no pad byte).
std::string Chunk(const std::string& id, const std::string& body);
std::string WaveBytes(const WaveLayout& layout);

// 16-bit samples, little-endian.
std::string Pcm16(const std::vector<int16_t>& samples);
// A deterministic ramp of n 16-bit samples.
std::string Ramp16(std::size_t samples);

// Compares byte strings and tells where they part, instead of printing them whole.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// A temporary folder removed with the object; its path ends without a separator.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

}  // namespace testing_support
