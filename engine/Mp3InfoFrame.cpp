// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3InfoFrame.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Xing's fields (tag, flags, frames, bytes, seek table, quality), then LAME's extension.
constexpr std::size_t kXingBytes = 120;
constexpr std::size_t kTagBytes = kXingBytes + 36;
constexpr int kMostPadding = 4095;  // twelve bits

struct Header {
    int versionBits = 0;
    int rate = 0;
    int samples = 0;  // per channel
    std::size_t size = 0;
    std::size_t tagAt = 0;  // after the header and the side information, as if it had no CRC
};

// Layer III frames only, which is all the MP3 library writes.
std::optional<Header> ReadHeader(const uint8_t* h) {
    static constexpr int kBitrates[2][16] = {
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};
    static constexpr int kRates[4][3] = {
        {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const int versionBits = (h[1] >> 3) & 3;
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (h[0] != 0xFF || (h[1] & 0xE6) != 0xE2 || versionBits == 1 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3) {
        return std::nullopt;
    }
    const bool mpeg1 = versionBits == 3;
    Header header;
    header.versionBits = versionBits;
    header.rate = kRates[versionBits][rateIndex];
    header.samples = mpeg1 ? 1152 : 576;
    header.size = static_cast<std::size_t>(
        (mpeg1 ? 144000 : 72000) * kBitrates[mpeg1 ? 1 : 0][bitrateIndex] / header.rate +
        ((h[2] >> 1) & 1));
    const bool mono = (h[3] >> 6) == 3;
    header.tagAt = 4 + static_cast<std::size_t>(mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    return header;
}

// CRC-16 with the reflected polynomial 0xA001, which LAME's tag uses for itself and the music.
class TagCrc {
  public:
    TagCrc() {
        for (unsigned i = 0; i < 256; ++i) {
            unsigned crc = i;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1;
            }
            table_[i] = static_cast<uint16_t>(crc);
        }
    }
    uint16_t Update(uint16_t crc, const uint8_t* data, std::size_t size) const {
        for (std::size_t i = 0; i < size; ++i) {
            crc = static_cast<uint16_t>((crc >> 8) ^ table_[(crc ^ data[i]) & 0xFF]);
        }
        return crc;
    }

  private:
    std::array<uint16_t, 256> table_{};
};

// The file read forward, a block at a time, handing out whole frames.
class ForwardReader {
  public:
    explicit ForwardReader(std::FILE* file) : file_(file), buffer_(1 << 16) {}

    // The bytes [offset, offset + size), or null where the file ends first. Offsets only grow.
    const uint8_t* At(uint64_t offset, std::size_t size) {
        if (offset < start_ || offset + size > start_ + end_) {
            if (offset >= start_ && offset < start_ + end_) {
                const auto keep = static_cast<std::size_t>(offset - start_);
                std::memmove(buffer_.data(), buffer_.data() + keep, end_ - keep);
                end_ -= keep;
            } else {
                if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
                    failed_ = true;
                    return nullptr;
                }
                end_ = 0;
            }
            start_ = offset;
            if (size > buffer_.size()) {
                buffer_.resize(size);
            }
            end_ += std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
            failed_ = failed_ || std::ferror(file_) != 0;
            if (end_ < size) {
                return nullptr;
            }
        }
        return buffer_.data() + (offset - start_);
    }
    bool Failed() const { return failed_; }

  private:
    std::FILE* file_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;  // the file offset of buffer_[0]
    std::size_t end_ = 0;
    bool failed_ = false;
};

void PutBig(uint8_t* at, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) {
        at[i] = static_cast<uint8_t>(value);
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

InfoFrameResult CompleteMp3InfoFrame(const std::string& path, uint64_t sourceFrames,
                                     uint32_t sourceRate, int& error) {
    error = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r+b"));
    auto fail = [&error] {
        error = errno != 0 ? errno : EIO;
        return InfoFrameResult::Failed;
    };
    if (!file) {
        return fail();
    }
    ForwardReader reader(file.get());
    uint64_t infoAt = 0;
    // An ID3v2 tag in front: ten bytes of header, a size in seven-bit bytes, perhaps a footer.
    if (const uint8_t* id3 = reader.At(0, 10); id3 != nullptr && std::memcmp(id3, "ID3", 3) == 0) {
        infoAt =
            10 +
            (uint64_t{id3[6]} << 21 | uint64_t{id3[7]} << 14 | uint64_t{id3[8]} << 7 | id3[9]) +
            ((id3[5] & 0x10) != 0 ? 10 : 0);
    }
    const uint8_t* head = reader.At(infoAt, 4);
    const std::optional<Header> info = head != nullptr ? ReadHeader(head) : std::nullopt;
    const uint8_t* bytes = info ? reader.At(infoAt, info->size) : nullptr;
    if (bytes == nullptr || info->tagAt + kTagBytes > info->size ||
        (std::memcmp(bytes + info->tagAt, "Info", 4) != 0 &&
         std::memcmp(bytes + info->tagAt, "Xing", 4) != 0) ||
        std::memcmp(bytes + info->tagAt + kXingBytes, "LAME", 4) != 0) {
        return reader.Failed() ? fail() : InfoFrameResult::Absent;
    }
    std::vector<uint8_t> frame(bytes, bytes + info->size);
    uint8_t* const xing = frame.data() + info->tagAt;
    uint8_t* const lame = xing + kXingBytes;
    const int delay = lame[21] << 4 | lame[22] >> 4;

    // The stream's frames: those of the Info frame's version and rate that follow it unbroken.
    static const TagCrc crc;
    uint16_t musicCrc = 0;
    std::vector<uint64_t> offsets;
    uint64_t at = infoAt + info->size;
    while (const uint8_t* next = reader.At(at, 4)) {
        const std::optional<Header> header = ReadHeader(next);
        if (!header || header->versionBits != info->versionBits || header->rate != info->rate) {
            break;
        }
        const uint8_t* whole = reader.At(at, header->size);
        if (whole == nullptr) {
            break;
        }
        musicCrc = crc.Update(musicCrc, whole, header->size);
        offsets.push_back(at - infoAt);
        at += header->size;
    }
    if (reader.Failed()) {
        return fail();
    }
    const uint64_t streamBytes = at - infoAt;
    const auto frames = static_cast<uint32_t>(offsets.size());
    PutBig(xing + 4, 0x0F, 4);
    PutBig(xing + 8, frames, 4);
    PutBig(xing + 12, static_cast<uint32_t>(streamBytes), 4);
    for (uint32_t i = 0; i < 100; ++i) {
        const uint64_t offset = frames == 0 ? 0 : offsets[uint64_t{i} * frames / 100];
        xing[16 + i] = static_cast<uint8_t>(std::min<uint64_t>(255, offset * 256 / streamBytes));
    }
    // The source's frames in the stream's rate, rounded as a resampler would place them.
    const uint64_t wanted =
        sourceRate == 0
            ? 0
            : (sourceFrames * static_cast<uint64_t>(info->rate) + sourceRate / 2) / sourceRate;
    const int64_t padding = static_cast<int64_t>(uint64_t{frames} * info->samples) - delay -
                            static_cast<int64_t>(wanted);
    const int kept = static_cast<int>(std::clamp<int64_t>(padding, 0, kMostPadding));
    lame[22] = static_cast<uint8_t>((lame[22] & 0xF0) | kept >> 8);
    lame[23] = static_cast<uint8_t>(kept);
    PutBig(lame + 28, static_cast<uint32_t>(streamBytes), 4);
    PutBig(lame + 32, musicCrc, 2);
    const std::size_t tagCrcAt = info->tagAt + kTagBytes - 2;
    PutBig(frame.data() + tagCrcAt, crc.Update(0, frame.data(), tagCrcAt), 2);

    errno = 0;
    if (std::fseek(file.get(), static_cast<long>(infoAt), SEEK_SET) != 0 ||
        std::fwrite(frame.data(), 1, frame.size(), file.get()) != frame.size() ||
        std::fflush(file.get()) != 0) {
        return fail();
    }
    std::FILE* closing = file.release();
    if (std::fclose(closing) != 0) {
        return fail();
    }
    return InfoFrameResult::Completed;
}
