// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Where the samples of a file lie, and a clean header that describes them. The second reader's
// library sees only this header and the sample bytes: a malformed chunk elsewhere in a file (some
// make the library loop for ever) never reaches it, and the tags are read from the file itself.
struct SourceLayout {
    std::string Header;       // what stands before the samples in the file handed to the library
    uint64_t DataOffset = 0;  // where the samples start in the real file
    uint64_t DataBytes = 0;   // how many bytes of samples follow there
};

// Reads `size` bytes at `offset` of the real file; false when fewer are there or reading failed.
using ReadAt = std::function<bool(uint64_t offset, void* into, std::size_t size)>;

// A RIFF, RIFX, RF64, BW64 or Wave64 WAVE file, or an AIFF or AIFF-C file, is walked chunk by
// chunk and each size checked against the file; its format chunk must describe a sample format
// that the library decodes. FLAC and Ogg files are handed over whole. Anything else, or a
// structure that does not hold, gives nothing and the reason in `error`.
std::optional<SourceLayout> LayOut(const ReadAt& read, uint64_t fileSize, std::string& error);
