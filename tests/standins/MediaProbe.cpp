// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaProbe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

// What a shell command prints; `status` gets its exit status.
std::string CommandOutput(const std::string& command, int* status = nullptr) {
    std::string said = "cannot run " + command;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        said.clear();
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            said.append(buffer, got);
        }
        const int exit = ::pclose(pipe);
        if (status != nullptr) {
            *status = exit;
        }
    }
    return said;
}

uint16_t Crc16(const uint8_t* data, std::size_t size, uint16_t crc, uint16_t poly, bool reflected) {
    for (std::size_t i = 0; i < size; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            const int in = (data[i] >> (reflected ? bit : 7 - bit)) & 1;
            const bool out = ((reflected ? crc : crc >> 15) & 1) != in;
            crc = static_cast<uint16_t>(reflected ? crc >> 1 : crc << 1);
            crc = static_cast<uint16_t>(crc ^ (out ? poly : 0));
        }
    }
    return crc;
}

void AddTags(const AVDictionary* dictionary, std::map<std::string, std::string>& tags) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        std::string key = entry->key;
        for (char& c : key) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        tags[key] = entry->value;
    }
}

double SampleAt(const AVFrame* frame, int channel, int index, int channels) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int plane = planar ? channel : 0;
    const int at = planar ? index : index * channels + channel;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_FLT:
            return reinterpret_cast<const float*>(frame->extended_data[plane])[at];
        case AV_SAMPLE_FMT_DBL:
            return reinterpret_cast<const double*>(frame->extended_data[plane])[at];
        case AV_SAMPLE_FMT_S16:
            return reinterpret_cast<const int16_t*>(frame->extended_data[plane])[at] / 32768.0;
        case AV_SAMPLE_FMT_S32:
            return reinterpret_cast<const int32_t*>(frame->extended_data[plane])[at] / 2147483648.0;
        default:
            return 0.0;
    }
}

}  // namespace

std::optional<MediaFacts> ProbeMedia(const std::string& path, std::string* error) {
    auto fail = [error](const std::string& why) -> std::optional<MediaFacts> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    AVFormatContext* rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr) < 0) {
        return fail("cannot open " + path);
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> format(
        rawFormat, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        return fail("no stream information in " + path);
    }
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) {
        return fail("no audio stream in " + path);
    }
    const AVStream* stream = format->streams[index];
    MediaFacts facts;
    facts.codec = avcodec_get_name(stream->codecpar->codec_id);
    facts.sampleRate = stream->codecpar->sample_rate;
    facts.channels = stream->codecpar->ch_layout.nb_channels;
    facts.bitRate = stream->codecpar->bit_rate;
    facts.durationSeconds = format->duration == AV_NOPTS_VALUE
                                ? -1.0
                                : static_cast<double>(format->duration) / AV_TIME_BASE;
    AddTags(format->metadata, facts.tags);
    AddTags(stream->metadata, facts.tags);

    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        return fail("no decoder for " + facts.codec);
    }
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> codec(
        avcodec_alloc_context3(decoder), [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0 ||
        avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return fail("cannot open the decoder for " + facts.codec);
    }
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    std::vector<double> sums(static_cast<std::size_t>(facts.channels), 0.0);
    facts.samples.resize(static_cast<std::size_t>(facts.channels));
    auto drain = [&]() -> bool {
        for (;;) {
            const int received = avcodec_receive_frame(codec.get(), frame.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return true;
            }
            if (received < 0) {
                return false;
            }
            const int channels = frame->ch_layout.nb_channels;
            for (int c = 0; c < channels && c < facts.channels; ++c) {
                for (int i = 0; i < frame->nb_samples; ++i) {
                    const double value = SampleAt(frame.get(), c, i, channels);
                    sums[static_cast<std::size_t>(c)] += value * value;
                    facts.samples[static_cast<std::size_t>(c)].push_back(static_cast<float>(value));
                }
            }
            facts.decodedFrames += frame->nb_samples;
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            if (avcodec_send_packet(codec.get(), packet.get()) < 0 || !drain()) {
                av_packet_unref(packet.get());
                return fail("a packet does not decode in " + path);
            }
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(codec.get(), nullptr);
    if (!drain()) {
        return fail("the decoder's last frames do not decode in " + path);
    }
    for (double sum : sums) {
        facts.rms.push_back(facts.decodedFrames > 0
                                ? std::sqrt(sum / static_cast<double>(facts.decodedFrames))
                                : 0.0);
    }
    return facts;
}

std::vector<Mp3Frame> ReadMp3Frames(const std::vector<uint8_t>& bytes, std::size_t* consumed) {
    static const int kBitrates[2][15] = {
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static const int kRates[3][3] = {
        {11025, 12000, 8000}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    std::vector<Mp3Frame> frames;
    std::size_t at = 0;
    while (at + 4 <= bytes.size()) {
        const uint8_t* h = bytes.data() + at;
        const int versionBits = (h[1] >> 3) & 3;
        const int layerBits = (h[1] >> 1) & 3;
        const int bitrateIndex = h[2] >> 4;
        const int rateIndex = (h[2] >> 2) & 3;
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || versionBits == 1 || layerBits != 1 ||
            bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
            break;
        }
        Mp3Frame frame;
        frame.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
        frame.bitrate = kBitrates[frame.version == 1 ? 1 : 0][bitrateIndex];
        frame.sampleRate = kRates[versionBits == 3 ? 2 : versionBits == 2 ? 1 : 0][rateIndex];
        frame.crc = (h[1] & 1) == 0;
        frame.privateBit = (h[2] & 1) != 0;
        frame.mode = h[3] >> 6;
        frame.copyright = (h[3] & 8) != 0;
        frame.original = (h[3] & 4) != 0;
        const int padding = (h[2] >> 1) & 1;
        const int size =
            (frame.version == 1 ? 144000 : 72000) * frame.bitrate / frame.sampleRate + padding;
        if (at + static_cast<std::size_t>(size) > bytes.size()) {
            break;
        }
        // Side information: main_data_begin, then each granule's part2_3_length among fields of
        // fixed width.
        const int channels = frame.mode == 3 ? 1 : 2;
        const bool mpeg1 = frame.version == 1;
        std::size_t bit = (4u + (frame.crc ? 2u : 0u)) * 8u;
        auto read = [&](int width) {
            int value = 0;
            for (int i = 0; i < width; ++i, ++bit) {
                value = value << 1 | ((bytes[at + bit / 8] >> (7 - bit % 8)) & 1);
            }
            return value;
        };
        frame.mainDataBegin = read(mpeg1 ? 9 : 8);
        bit += static_cast<std::size_t>(mpeg1 ? (channels == 1 ? 5 + 4 : 3 + 8) : channels);
        int mainBits = 0;
        for (int granule = 0; granule < (mpeg1 ? 2 : 1) * channels; ++granule) {
            mainBits += read(12);
            bit += mpeg1 ? 47 : 51;
        }
        frame.mainDataBytes = (mainBits + 7) / 8;
        frame.slotBytes = size - static_cast<int>(bit / 8);
        // Decoders look for a tag where the side information would end without a CRC.
        const std::size_t tagAt = bit / 8 - (frame.crc ? 2 : 0);
        frame.info =
            tagAt + 4 <= static_cast<std::size_t>(size) &&
            (std::memcmp(h + tagAt, "Info", 4) == 0 || std::memcmp(h + tagAt, "Xing", 4) == 0);
        frame.offset = at;
        frame.size = static_cast<std::size_t>(size);
        frames.push_back(frame);
        at += static_cast<std::size_t>(size);
    }
    if (consumed != nullptr) {
        *consumed = at;
    }
    return frames;
}

std::string MainDataFault(const std::vector<Mp3Frame>& frames) {
    int before = 0;    // main data bytes of the frames before
    int previous = 0;  // where the previous frame's main data ended
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Mp3Frame& frame = frames[i];
        if (frame.info) {
            continue;  // no reservoir: decoders skip it
        }
        const int begin = before - frame.mainDataBegin;
        if (begin < previous || begin + frame.mainDataBytes > before + frame.slotBytes) {
            return "frame " + std::to_string(i) + ": main data " + std::to_string(begin) + " to " +
                   std::to_string(begin + frame.mainDataBytes) + " outside " +
                   std::to_string(previous) + " to " + std::to_string(before + frame.slotBytes);
        }
        previous = begin + frame.mainDataBytes;
        before += frame.slotBytes;
    }
    return {};
}

std::string StrictDecodeErrors(const std::string& path) {
    int status = 0;
    const std::string said = CommandOutput(
        "ffmpeg -nostdin -v error -xerror -err_detect crccheck+bitstream+buffer+explode -i '" +
            path + "' -f null - 2>&1",
        &status);
    return status == 0 ? said : said + "exit status " + std::to_string(status);
}

std::string Mp3InfoFault(const std::vector<uint8_t>& bytes) {
    std::size_t end = 0;
    const std::vector<Mp3Frame> frames = ReadMp3Frames(bytes, &end);
    const auto audio = static_cast<int64_t>(frames.size()) - 1;
    if (audio < 1 || !frames[0].info || end != bytes.size()) {
        return "no Info frame and audio frames after it";
    }
    const uint8_t* h = bytes.data();
    const std::size_t info = frames[0].size;
    const std::size_t at =
        info - static_cast<std::size_t>(frames[0].slotBytes) - (frames[0].crc ? 2 : 0);
    auto big = [&](std::size_t from, int width) {
        int64_t value = 0;
        for (int i = 0; i < width; ++i) {
            value = value << 8 | h[from + static_cast<std::size_t>(i)];
        }
        return value;
    };
    const auto stream = static_cast<int64_t>(end);
    if (at + 156 > info || std::memcmp(h + at + 120, "LAME", 4) != 0) {
        return "no LAME tag";
    } else if (frames[0].crc &&
               big(4, 2) !=
                   Crc16(h + 6, at - 4, Crc16(h + 2, 2, 0xFFFF, 0x8005, false), 0x8005, false)) {
        return "frame CRC";
    } else if (big(at + 154, 2) != Crc16(h, at + 154, 0, 0xA001, true)) {
        return "LAME tag CRC";
    } else if (big(at + 152, 2) != Crc16(h + info, end - info, 0, 0xA001, true)) {
        return "music CRC";
    } else if (big(at + 8, 4) != audio || big(at + 12, 4) != stream || big(at + 148, 4) != stream) {
        return "frame or byte count";
    }
    for (int64_t i = 0; i < 100; ++i) {
        const int64_t offset =
            static_cast<int64_t>(frames[static_cast<std::size_t>(1 + i * audio / 100)].offset);
        if (big(at + 16 + static_cast<std::size_t>(i), 1) !=
            std::min<int64_t>(255, offset * 256 / stream)) {
            return "seek table entry " + std::to_string(i);
        }
    }
    return {};
}

std::string Mp3valFaults(const std::string& path) {
    // Two guesses that are no fault: a file without tags, and one of very few frames (a source of
    // milliseconds; lame's own files get it too).
    return CommandOutput(
        "{ mp3val '" + path + "' || echo 'ERROR: mp3val failed'; } 2>&1 | " +
        "grep -E '^(WARNING|ERROR)' | grep -v -e 'No supported tags' -e 'Too few MPEG'");
}

int64_t Mpg123Frames(const std::string& path, int channels) {
    return std::stoll(CommandOutput("mpg123 -q -s '" + path + "' 2>/dev/null | wc -c")) /
           (2 * channels);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int64_t LastOggGranule(const std::vector<uint8_t>& bytes) {
    std::size_t at = 0;
    int64_t granule = -1;
    while (at + 27 <= bytes.size()) {
        if (std::memcmp(bytes.data() + at, "OggS", 4) != 0) {
            return -1;
        }
        uint64_t position = 0;
        for (int i = 7; i >= 0; --i) {
            position = position << 8 | bytes[at + 6 + static_cast<std::size_t>(i)];
        }
        const std::size_t segments = bytes[at + 26];
        if (at + 27 + segments > bytes.size()) {
            return -1;
        }
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments; ++i) {
            body += bytes[at + 27 + i];
        }
        granule = static_cast<int64_t>(position);
        at += 27 + segments + body;
    }
    return at == bytes.size() ? granule : -1;
}
