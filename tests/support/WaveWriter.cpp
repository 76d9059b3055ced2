// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveWriter.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

std::string Le16(uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string Le32(uint32_t value) {
    return Le16(static_cast<uint16_t>(value & 0xFFFF)) + Le16(static_cast<uint16_t>(value >> 16));
}

std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le32(static_cast<uint32_t>(body.size())) + body;
}

std::string WaveBytes(const WaveLayout& layout) {
    const uint16_t blockAlign = static_cast<uint16_t>(layout.channels * layout.bitsPerSample / 8);
    std::string fmt = Le16(layout.formatTag) + Le16(layout.channels) + Le32(layout.sampleRate) +
                      Le32(layout.sampleRate * blockAlign) + Le16(blockAlign) +
                      Le16(layout.bitsPerSample);
    if (layout.fmtSize > 16) {
        fmt += std::string(layout.fmtSize - 16, '\0');
    }
    std::string body = "WAVE" + layout.firstChunk + "fmt " + Le32(layout.fmtSize) + fmt;
    for (const std::string& chunk : layout.chunksBefore) {
        body += chunk;
    }
    const uint32_t declared = layout.declaredDataSize < 0
                                  ? static_cast<uint32_t>(layout.data.size())
                                  : static_cast<uint32_t>(layout.declaredDataSize);
    body += "data" + Le32(declared) + layout.data + layout.after;
    return "RIFF" + Le32(static_cast<uint32_t>(body.size())) + body;
}

std::string Pcm16(const std::vector<int16_t>& samples) {
    std::string bytes;
    bytes.reserve(samples.size() * 2);
    for (int16_t s : samples) {
        bytes += Le16(static_cast<uint16_t>(s));
    }
    return bytes;
}

std::string Ramp16(std::size_t samples) {
    std::string bytes;
    bytes.reserve(samples * 2);
    for (std::size_t i = 0; i < samples; ++i) {
        bytes += Le16(static_cast<uint16_t>(i * 7919u + 13u));
    }
    return bytes;
}

::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                         << " were expected; first difference at offset " << at;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sonvert-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
}

}  // namespace testing_support
