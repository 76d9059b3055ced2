// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceLayout.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// Readings of the fields of a header in its byte order.
struct Bytes {
    bool big = false;
    uint64_t Get(const unsigned char* p, int size) const {
        uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            const int at = big ? i : size - 1 - i;
            value = (value << 8) | p[at];
        }
        return value;
    }
    void Put(std::string& out, uint64_t value, int size) const {
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (big ? size - 1 - i : i);
            out.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    }
};

bool Is(const unsigned char* p, std::string_view id) {
    return std::memcmp(p, id.data(), id.size()) == 0;
}

bool Printable(const unsigned char* id) {
    for (int i = 0; i < 4; ++i) {
        if (id[i] < 0x20 || id[i] > 0x7E) {
            return false;
        }
    }
    return true;
}

// The format tags the library decodes from a WAVE file, as this reader lets them through.
constexpr uint16_t kPcm = 1, kMsAdpcm = 2, kFloat = 3, kAlaw = 6, kMulaw = 7, kImaAdpcm = 0x11,
                   kGsm = 0x31, kExtensible = 0xFFFE;

// The tail that every standard WAVE_FORMAT_EXTENSIBLE subformat and Wave64 chunk GUID shares.
constexpr unsigned char kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// The Ambisonic B-format subformats' tail, which the library reads too.
constexpr unsigned char kAmbisonicTail[14] = {0x00, 0x00, 0x21, 0x07, 0xD3, 0x11, 0x86,
                                              0x44, 0xC8, 0xC1, 0xCA, 0x00, 0x00, 0x00};
constexpr unsigned char kW64Tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                        0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr unsigned char kW64RiffTail[12] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6,
                                            0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

// A WAVE format chunk that the library can take, rewritten to its plain length: none of the
// library's own checks of the fields beyond are left to chance.
bool CleanFormat(const std::vector<unsigned char>& body, const Bytes& order, std::string& clean,
                 std::string& error) {
    if (body.size() < 16) {
        error = "its format chunk is too short";
        return false;
    }
    const auto field = [&](std::size_t at, int size) {
        return at + static_cast<std::size_t>(size) <= body.size() ? order.Get(&body[at], size)
                                                                  : uint64_t{0};
    };
    const auto tag = static_cast<uint16_t>(field(0, 2));
    const auto channels = static_cast<uint16_t>(field(2, 2));
    const auto rate = static_cast<uint32_t>(field(4, 4));
    const auto blockAlign = static_cast<uint16_t>(field(12, 2));
    const auto bits = static_cast<uint16_t>(field(14, 2));
    const auto extra = static_cast<uint16_t>(field(16, 2));
    if (channels == 0 || channels > 1024 || rate == 0 || rate > 0x7FFFFFFF || blockAlign == 0) {
        error = "its format chunk names no channels, no rate or no block size";
        return false;
    }
    uint16_t kind = tag;
    std::size_t length = 16;
    if (tag == kExtensible) {
        if (body.size() < 40 || extra < 22 ||
            (std::memcmp(&body[26], kSubformatTail, sizeof kSubformatTail) != 0 &&
             std::memcmp(&body[26], kAmbisonicTail, sizeof kAmbisonicTail) != 0)) {
            error = "its extensible format chunk is malformed";
            return false;
        }
        kind = static_cast<uint16_t>(field(24, 2));
        length = 40;
    }
    const unsigned bytesPerSample = (bits + 7u) / 8u;
    switch (kind) {
        case kPcm:
        case kFloat: {
            const bool pcm = kind == kPcm;
            const bool depth = pcm ? bits >= 1 && bits <= 32 : bits == 32 || bits == 64;
            if (!depth || blockAlign != channels * bytesPerSample) {
                error = "its format chunk gives " + std::to_string(bits) + " bits a sample in " +
                        std::to_string(blockAlign) + "-byte frames";
                return false;
            }
            break;
        }
        case kAlaw:
        case kMulaw:
            if (bits != 8 || blockAlign != channels) {
                error = "its format chunk is malformed";
                return false;
            }
            break;
        case kImaAdpcm:
        case kMsAdpcm: {
            // A block holds a header per channel, then 4-bit samples.
            const unsigned header = kind == kImaAdpcm ? 4u : 7u;
            const auto samplesPerBlock = static_cast<uint16_t>(field(18, 2));
            const unsigned expected =
                blockAlign > header * channels
                    ? (blockAlign - header * channels) * 2u / channels + (kind == kImaAdpcm ? 1 : 2)
                    : 0;
            const auto coefficients = static_cast<uint16_t>(field(20, 2));
            const std::size_t needed = kind == kImaAdpcm ? 20 : 22u + 4u * coefficients;
            if (tag == kExtensible || bits != 4 || channels > 2 || body.size() < needed ||
                extra + 18u < needed || samplesPerBlock == 0 || samplesPerBlock != expected ||
                (kind == kMsAdpcm && (coefficients < 7 || coefficients > 256))) {
                error = "its ADPCM format chunk is malformed";
                return false;
            }
            length = needed;
            break;
        }
        case kGsm:
            if (tag == kExtensible || channels != 1 || blockAlign != 65 || body.size() < 20 ||
                field(18, 2) != 320) {
                error = "its GSM format chunk is malformed";
                return false;
            }
            length = 20;
            break;
        default:
            error = "its sample format (tag " + std::to_string(kind) + ") cannot be read";
            return false;
    }
    clean.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length));
    if (length > 16) {
        // The size of the extension, as long as what is kept of it.
        const std::string size = [&] {
            std::string s;
            order.Put(s, length - 18, 2);
            return s;
        }();
        clean.replace(16, 2, size);
    }
    return true;
}

class Walker {
  public:
    Walker(const ReadAt& read, uint64_t fileSize, std::string& error)
        : read_(read), size_(fileSize), error_(error) {}

    std::optional<SourceLayout> Wave(const unsigned char* head) {
        const bool w64 = Is(head, "riff") && std::memcmp(head + 4, kW64RiffTail, 12) == 0;
        order_.big = Is(head, "RIFX");
        const bool rf64 = Is(head, "RF64") || Is(head, "BW64");
        // Chunk headers: four bytes of name and four of size, or Wave64's GUID and eight bytes.
        const uint64_t idBytes = w64 ? 16 : 4;
        const int sizeBytes = w64 ? 8 : 4;
        const uint64_t headerBytes = idBytes + static_cast<uint64_t>(sizeBytes);
        uint64_t at = w64 ? 40 : 12;
        std::optional<uint64_t> ds64Data;
        std::vector<unsigned char> format;
        std::string fact;
        std::optional<uint64_t> dataAt;
        uint64_t dataBytes = 0;
        while (at + headerBytes <= size_ && !(dataAt && !format.empty())) {
            unsigned char chunk[24];
            if (!read_(at, chunk, static_cast<std::size_t>(headerBytes))) {
                return Fail("it cannot be read");
            }
            // Wave64 names its own chunks with one GUID tail; other GUIDs are skipped.
            const bool named = !w64 || std::memcmp(chunk + 4, kW64Tail, 12) == 0;
            uint64_t bodySize = order_.Get(chunk + idBytes, sizeBytes);
            if (w64) {
                if (bodySize < headerBytes) {
                    return Fail("a chunk's size is smaller than its header");
                }
                bodySize -= headerBytes;
            }
            const uint64_t body = at + headerBytes;
            const uint64_t room = size_ - body;
            if (!named) {
                // skipped below
            } else if (rf64 && Is(chunk, "ds64") && !ds64Data) {
                unsigned char ds64[16];
                if (bodySize < 28 || bodySize > room || !read_(body + 8, ds64, 8)) {
                    return Fail("its ds64 chunk is malformed");
                }
                ds64Data = order_.Get(ds64, 8);
            } else if (Is(chunk, "data") && !dataAt) {
                if (rf64 && bodySize == 0xFFFFFFFF) {
                    if (!ds64Data) {
                        return Fail("its data chunk has no size (no ds64 chunk)");
                    }
                    bodySize = *ds64Data;
                }
                dataAt = body;
                // A recording cut short, or one whose size was never filled in, holds what it
                // holds: the classic reader reads such a data chunk to the end of the file too.
                dataBytes = std::min(bodySize, room);
            } else if (Is(chunk, "fmt ") && format.empty()) {
                if (bodySize < 16 || bodySize > 4096 || bodySize > room) {
                    return Fail("its format chunk's size (" + std::to_string(bodySize) +
                                " bytes) cannot be");
                }
                format.resize(static_cast<std::size_t>(bodySize));
                if (!read_(body, format.data(), format.size())) {
                    return Fail("it cannot be read");
                }
            } else if (Is(chunk, "fact") && fact.empty() && bodySize >= 4 && bodySize <= room) {
                unsigned char frames[4];
                if (!read_(body, frames, 4)) {
                    return Fail("it cannot be read");
                }
                fact.assign(reinterpret_cast<const char*>(frames), 4);
            }
            if (bodySize > room) {
                break;  // the last chunk, cut short
            }
            at = Next(body, bodySize, w64);
        }
        if (format.empty()) {
            return Fail("it has no format chunk");
        }
        if (!dataAt) {
            return Fail("it has no data chunk");
        }
        std::string clean;
        if (!CleanFormat(format, order_, clean, error_)) {
            return std::nullopt;
        }
        return WaveLayout(clean, fact, *dataAt, dataBytes);
    }

    std::optional<SourceLayout> Aiff(bool compressed) {
        order_.big = true;
        uint64_t at = 12;
        std::vector<unsigned char> common;
        std::optional<uint64_t> dataAt;
        uint64_t dataBytes = 0;
        while (at + 8 <= size_ && !(dataAt && !common.empty())) {
            unsigned char chunk[8];
            if (!read_(at, chunk, 8)) {
                return Fail("it cannot be read");
            }
            const uint64_t bodySize = order_.Get(chunk + 4, 4);
            const uint64_t body = at + 8;
            const uint64_t room = size_ - body;
            if (Is(chunk, "COMM") && common.empty()) {
                if (bodySize < 18 || bodySize > 1024 || bodySize > room) {
                    return Fail("its COMM chunk's size cannot be");
                }
                common.resize(static_cast<std::size_t>(bodySize));
                if (!read_(body, common.data(), common.size())) {
                    return Fail("it cannot be read");
                }
            } else if (Is(chunk, "SSND") && !dataAt) {
                unsigned char offset[4];
                if (bodySize < 8 || room < 8 || !read_(body, offset, 4)) {
                    return Fail("its SSND chunk is malformed");
                }
                const uint64_t skip = 8 + order_.Get(offset, 4);
                const uint64_t held = std::min(bodySize, room);
                if (skip > held) {
                    return Fail("its SSND chunk's offset lies beyond its end");
                }
                dataAt = body + skip;
                dataBytes = held - skip;
            }
            if (bodySize > room) {
                break;
            }
            at = body + bodySize + (bodySize & 1);
        }
        if (common.empty() || !dataAt) {
            return Fail(common.empty() ? "it has no COMM chunk" : "it has no SSND chunk");
        }
        return AiffLayout(common, compressed, *dataAt, dataBytes);
    }

  private:
    std::optional<SourceLayout> Fail(const std::string& why) {
        error_ = why;
        return std::nullopt;
    }

    // Chunks are padded to an even size (Wave64: to eight bytes), but some writers leave the pad
    // byte out; the next chunk's name tells.
    uint64_t Next(uint64_t body, uint64_t bodySize, bool w64) {
        const uint64_t end = body + bodySize;
        if (w64) {
            return (end + 7) / 8 * 8;
        }
        if ((bodySize & 1) == 0) {
            return end;
        }
        unsigned char ids[5];
        if (end + 5 <= size_ && read_(end, ids, 5) && Printable(ids) && !Printable(ids + 1)) {
            return end;
        }
        return end + 1;
    }

    std::optional<SourceLayout> WaveLayout(const std::string& format, const std::string& fact,
                                           uint64_t dataAt, uint64_t dataBytes) {
        SourceLayout layout;
        layout.DataOffset = dataAt;
        layout.DataBytes = dataBytes;
        std::string chunks;
        const auto chunk = [&](std::string_view id, const std::string& body) {
            chunks += id;
            order_.Put(chunks, body.size(), 4);
            chunks += body;
            if (body.size() % 2 != 0) {
                chunks.push_back('\0');
            }
        };
        chunk("fmt ", format);
        if (!fact.empty()) {
            chunk("fact", fact);
        }
        const uint64_t riffSize = 4 + chunks.size() + 8 + dataBytes;
        std::string& h = layout.Header;
        if (riffSize > 0xFFFFFFFEu) {
            // Too long for a RIFF file: the RF64 form, its sizes in a ds64 chunk.
            h = "RF64";
            order_.Put(h, 0xFFFFFFFFu, 4);
            h += "WAVEds64";
            order_.Put(h, 28, 4);
            order_.Put(h, riffSize + 36, 8);
            order_.Put(h, dataBytes, 8);
            order_.Put(h, 0, 8);
            order_.Put(h, 0, 4);
            h += chunks + "data";
            order_.Put(h, 0xFFFFFFFFu, 4);
            return layout;
        }
        h = order_.big ? "RIFX" : "RIFF";
        order_.Put(h, riffSize, 4);
        h += "WAVE" + chunks + "data";
        order_.Put(h, dataBytes, 4);
        return layout;
    }

    std::optional<SourceLayout> AiffLayout(std::vector<unsigned char> common, bool compressed,
                                           uint64_t dataAt, uint64_t dataBytes) {
        const uint64_t channels = order_.Get(&common[0], 2);
        const uint64_t bits = order_.Get(&common[6], 2);
        // The rate is an 80-bit extended float: sign and exponent, then a 64-bit mantissa.
        const int exponent = static_cast<int>(order_.Get(&common[8], 2) & 0x7FFF) - 16383 - 63;
        const double rate = std::ldexp(static_cast<double>(order_.Get(&common[10], 8)), exponent);
        if (channels == 0 || channels > 1024 || bits == 0 || bits > 64 || !(rate >= 1.0) ||
            rate > 2147483647.0 || (common[8] & 0x80) != 0) {
            return Fail("its COMM chunk names no channels, no sample size or no rate");
        }
        std::string type = "NONE";
        if (compressed) {
            if (common.size() < 22) {
                return Fail("its COMM chunk has no compression type");
            }
            type.assign(reinterpret_cast<const char*>(&common[18]), 4);
        }
        // The compression types the library decodes, and the bytes of a frame where each one's
        // frames are whole bytes.
        static constexpr std::array<std::pair<std::string_view, int>, 16> kTypes = {{
            {"NONE", 0},
            {"twos", 0},
            {"sowt", 0},
            {"raw ", 0},
            {"in24", 3},
            {"in32", 4},
            {"42ni", 3},
            {"23ni", 4},
            {"fl32", 4},
            {"FL32", 4},
            {"fl64", 8},
            {"FL64", 8},
            {"ulaw", 1},
            {"ULAW", 1},
            {"alaw", 1},
            {"ALAW", 1},
        }};
        int sampleBytes = -1;
        for (const auto& [name, size] : kTypes) {
            if (type == name) {
                sampleBytes = size == 0 ? static_cast<int>((bits + 7) / 8) : size;
            }
        }
        if (sampleBytes <= 0) {
            return Fail("its compression type '" + type + "' cannot be read");
        }
        // The frame count as the samples there give it: a file cut short holds fewer.
        const uint64_t frames = dataBytes / (channels * static_cast<uint64_t>(sampleBytes));
        if (frames > 0xFFFFFFFFu) {
            return Fail("it holds more frames than AIFF can count");
        }
        SourceLayout layout;
        layout.DataOffset = dataAt;
        layout.DataBytes = frames * channels * static_cast<uint64_t>(sampleBytes);
        std::string comm(reinterpret_cast<const char*>(common.data()), 18);
        comm.replace(2, 4, [&] {
            std::string s;
            order_.Put(s, frames, 4);
            return s;
        }());
        if (compressed) {
            comm += type;
            comm.append("\0\0", 2);  // an empty name, padded to even
        }
        std::string body = compressed ? "AIFCFVER" : "AIFF";
        if (compressed) {
            order_.Put(body, 4, 4);
            order_.Put(body, 0xA2805140u, 4);
        }
        body += "COMM";
        order_.Put(body, comm.size(), 4);
        body += comm + "SSND";
        order_.Put(body, 8 + layout.DataBytes, 4);
        order_.Put(body, 0, 8);
        layout.Header = "FORM";
        order_.Put(layout.Header, body.size() + layout.DataBytes, 4);
        layout.Header += body;
        return layout;
    }

    const ReadAt& read_;
    uint64_t size_;
    std::string& error_;
    Bytes order_;
};

}  // namespace

std::optional<SourceLayout> LayOut(const ReadAt& read, uint64_t fileSize, std::string& error) {
    if (fileSize == 0) {
        error = "the file is empty";
        return std::nullopt;
    }
    unsigned char head[40] = {};
    const std::size_t got = static_cast<std::size_t>(std::min<uint64_t>(fileSize, sizeof head));
    if (!read(0, head, got)) {
        error = "it cannot be read";
        return std::nullopt;
    }
    Walker walker(read, fileSize, error);
    const bool riff = Is(head, "RIFF") || Is(head, "RIFX") || Is(head, "RF64") || Is(head, "BW64");
    if (got >= 12 && riff && Is(head + 8, "WAVE")) {
        return walker.Wave(head);
    }
    if (got >= 40 && Is(head, "riff") && std::memcmp(head + 4, kW64RiffTail, 12) == 0 &&
        Is(head + 24, "wave") && std::memcmp(head + 28, kW64Tail, 12) == 0) {
        return walker.Wave(head);
    }
    if (got >= 12 && Is(head, "FORM") && (Is(head + 8, "AIFF") || Is(head + 8, "AIFC"))) {
        return walker.Aiff(Is(head + 8, "AIFC"));
    }
    if (got >= 4 && (Is(head, "fLaC") || Is(head, "OggS"))) {
        SourceLayout whole;
        whole.DataBytes = fileSize;
        return whole;
    }
    error = "it is not a WAVE, AIFF, FLAC or Ogg file";
    return std::nullopt;
}
