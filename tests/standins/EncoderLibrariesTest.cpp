// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder libraries of the program's folder called directly: what they refuse, and what they
// promise beyond what the conversion path shows.
#include <gtest/gtest.h>

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "LameEncApi.h"
#include "Library.h"
#include "MediaProbe.h"
#include "Mp3Rates.h"
#include "VorbisEncApi.h"
#include "WmaAudioApi.h"

namespace fs = std::filesystem;

namespace {

// Whether a thread of the library's pool (named `name`) runs in this process.
bool PoolThreadRuns(const std::string& name) {
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name) {
            return true;
        }
    }
    return false;
}

class Loaded {
  public:
    explicit Loaded(const char* bareName) : handle_(platform::LoadLibrary(bareName)) {}
    ~Loaded() { platform::FreeLibrary(handle_); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;

    template <typename Fn>
    Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(platform::ResolveEntryPoint(handle_, name));
    }
    bool Ok() const { return handle_ != nullptr; }

  private:
    platform::LibraryHandle handle_;
};

// --- lame_enc -------------------------------------------------------------------------------

class LameEnc : public ::testing::Test {
  protected:
    Loaded library_{"lame_enc.dll"};
    BeInitStreamFn init_ = library_.Get<BeInitStreamFn>("beInitStream");
    BeEncodeChunkFn encode_ = library_.Get<BeEncodeChunkFn>("beEncodeChunk");
    BeDeinitStreamFn deinit_ = library_.Get<BeDeinitStreamFn>("beDeinitStream");
    BeCloseStreamFn close_ = library_.Get<BeCloseStreamFn>("beCloseStream");
    BeVersionFn version_ = library_.Get<BeVersionFn>("beVersion");

    static LameConfig Config(uint32_t rate, uint8_t mode, uint16_t bitrate) {
        LameConfig config{};
        config.sampleRate = rate;
        config.mode = mode;
        config.bitrate = bitrate;
        return config;
    }

    // Encodes the interleaved samples chunk by chunk and returns the whole stream.
    std::vector<uint8_t> Encode(const LameConfig& config, const std::vector<int16_t>& pcm) {
        uint32_t chunk = 0;
        uint32_t bufferSize = 0;
        LameStream stream = 0;
        EXPECT_EQ(init_(&config, &chunk, &bufferSize, &stream), 0u);
        std::vector<uint8_t> buffer(bufferSize);
        std::vector<uint8_t> stream_bytes;
        for (std::size_t at = 0; at < pcm.size(); at += chunk) {
            const auto count = static_cast<uint32_t>(std::min<std::size_t>(chunk, pcm.size() - at));
            uint32_t produced = 0;
            EXPECT_EQ(encode_(stream, count, pcm.data() + at, buffer.data(), &produced), 0u);
            EXPECT_LE(produced, bufferSize);
            stream_bytes.insert(stream_bytes.end(), buffer.begin(), buffer.begin() + produced);
        }
        uint32_t produced = 0;
        EXPECT_EQ(deinit_(stream, buffer.data(), &produced), 0u);
        stream_bytes.insert(stream_bytes.end(), buffer.begin(), buffer.begin() + produced);
        EXPECT_EQ(close_(stream), 0u);
        return stream_bytes;
    }

    // A second of tone.
    std::vector<uint8_t> EncodeSecond(const LameConfig& config) {
        const int channels = config.mode == 3 ? 1 : 2;
        std::vector<int16_t> pcm(config.sampleRate * static_cast<uint32_t>(channels));
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            pcm[i] = static_cast<int16_t>(8000 * std::sin(0.05 * static_cast<double>(i / 2)) *
                                          (i % 2 == 0 ? 1 : -1));
        }
        return Encode(config, pcm);
    }
};

TEST_F(LameEnc, ExportsEveryEntryPoint) {
    ASSERT_TRUE(library_.Ok());
    EXPECT_NE(init_, nullptr);
    EXPECT_NE(encode_, nullptr);
    EXPECT_NE(deinit_, nullptr);
    EXPECT_NE(close_, nullptr);
    EXPECT_NE(version_, nullptr);
}

TEST_F(LameEnc, RefusesWhatItCannotEncode) {
    struct Row {
        const char* why;
        LameConfig config;
    };
    LameConfig wrongKind = Config(44100, 0, 128);
    wrongKind.kind = 1;
    const Row rows[] = {
        {"another kind of record", wrongKind}, {"a mode beyond mono", Config(44100, 4, 128)},
        {"no sample rate", Config(0, 0, 128)}, {"a bitrate no MP3 has", Config(44100, 0, 129)},
        {"no bitrate", Config(44100, 0, 0)},   {"above every MP3 bitrate", Config(44100, 0, 384)},
    };
    for (const Row& row : rows) {
        uint32_t chunk = 0;
        uint32_t size = 0;
        LameStream stream = 0;
        EXPECT_NE(init_(&row.config, &chunk, &size, &stream), 0u) << row.why;
    }
    uint32_t chunk = 0;
    LameStream stream = 0;
    const LameConfig good = Config(44100, 0, 128);
    EXPECT_NE(init_(&good, &chunk, nullptr, &stream), 0u) << "a missing out parameter";
}

TEST_F(LameEnc, RefusesUnknownStreamsAndOversizedChunks) {
    std::vector<uint8_t> buffer(100000);
    uint32_t produced = 0;
    int16_t samples[4] = {};
    EXPECT_NE(encode_(12345, 4, samples, buffer.data(), &produced), 0u);
    EXPECT_NE(deinit_(12345, buffer.data(), &produced), 0u);
    EXPECT_NE(close_(12345), 0u);

    const LameConfig config = Config(44100, 3, 64);
    uint32_t chunk = 0;
    uint32_t size = 0;
    LameStream stream = 0;
    ASSERT_EQ(init_(&config, &chunk, &size, &stream), 0u);
    EXPECT_GE(size, 1.25 * chunk + 7200);
    std::vector<int16_t> tooMany(chunk + 1);
    buffer.resize(size);
    EXPECT_NE(encode_(stream, chunk + 1, tooMany.data(), buffer.data(), &produced), 0u);
    EXPECT_EQ(deinit_(stream, buffer.data(), &produced), 0u);
    EXPECT_NE(encode_(stream, 2, tooMany.data(), buffer.data(), &produced), 0u)
        << "a flushed stream takes no more samples";
    EXPECT_EQ(close_(stream), 0u);
    EXPECT_NE(close_(stream), 0u) << "a closed handle is gone";
}

TEST_F(LameEnc, WritesTheModeItIsGiven) {
    // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono: the header's mode field.
    for (uint8_t mode = 0; mode <= 3; ++mode) {
        const std::vector<uint8_t> bytes = EncodeSecond(Config(44100, mode, 128));
        std::size_t consumed = 0;
        const auto frames = ReadMp3Frames(bytes, &consumed);
        ASSERT_GT(frames.size(), 30u) << int{mode};
        EXPECT_EQ(consumed, bytes.size());
        for (const Mp3Frame& frame : frames) {
            ASSERT_EQ(frame.mode, mode);
            ASSERT_EQ(frame.bitrate, 128);
        }
    }
}

TEST_F(LameEnc, ReportsLibmp3lamesVersion) {
    LameVersion version{};
    std::memset(&version, 0xAB, sizeof version);
    EXPECT_EQ(version_(&version), 0u);
    lame_version_t engine{};
    get_lame_version_numerical(&engine);
    EXPECT_EQ(version.engineMajor, engine.major);
    EXPECT_EQ(version.engineMinor, engine.minor);
    EXPECT_EQ(version.reserved[0], 0) << "the rest of the record is cleared";
}

// --- lame_enc: one long stream on every core ---------------------------------------------------

// The library's segments, in frames: its seams lie at multiples of this.
constexpr std::size_t kSegmentFrames = 768;
// Decoding lags the source by libmp3lame's delay and the decoder's.
constexpr std::size_t kCodecDelay = 576 + 529;

// Hush: faint noise after loud bursts a little before each seam, which a segment's encoder that
// starts after them never hears.
enum class Base { Sweep, Noise, Constant, Sparse, Hush };

struct SeamRow {
    const char* name;
    Base base;
    uint32_t rate;
    uint8_t mode;  // 0 stereo, 3 mono
    uint16_t bitrate;
    bool flags;  // CRC, private, copyright and original
};

// The base signal with clicks and drum-like bursts on and beside every seam (none on the constant).
std::vector<std::vector<double>> SeamSignal(const SeamRow& row, std::size_t length,
                                            std::size_t seamEvery, std::size_t frameSize) {
    constexpr double kTwoPi = 6.283185307179586;
    std::vector<std::vector<double>> signal(row.mode == 3 ? 1 : 2, std::vector<double>(length));
    uint32_t seed = 1;
    for (std::size_t c = 0; c < signal.size(); ++c) {
        double phase = 0;
        for (std::size_t n = 0; n < length; ++n) {
            seed = seed * 1103515245u + 12345u;
            const double t = static_cast<double>(n) / static_cast<double>(length);
            phase += kTwoPi * (40.0 + 0.2 * row.rate * t * t) / row.rate * (c == 0 ? 1.0 : 1.2);
            signal[c][n] = row.base == Base::Sweep      ? 0.4 * std::sin(phase)
                           : row.base == Base::Noise    ? ((seed >> 16) / 32768.0 - 1.0) * 0.3
                           : row.base == Base::Constant ? 0.25
                           : row.base == Base::Hush     ? ((seed >> 16) / 32768.0 - 1.0) * 0.003
                                                        : 0.0;
        }
        for (std::size_t seam = seamEvery; seam < length && row.base != Base::Constant;
             seam += seamEvery) {
            const std::size_t hush = row.rate / 2;
            for (const std::size_t start :
                 row.base == Base::Hush
                     ? std::vector<std::size_t>{seam - hush, seam - hush * 2 / 3}
                     : std::vector<std::size_t>{seam - frameSize, seam - 300, seam, seam + 583}) {
                signal[c][start] += 0.5;
                for (std::size_t i = 0; i < 1500; ++i) {
                    signal[c][start + i] +=
                        0.4 * std::exp(-static_cast<double>(i) / 250.0) *
                        std::sin(kTwoPi * 90.0 * static_cast<double>(i) / row.rate +
                                 static_cast<double>(c));
                }
            }
        }
    }
    return signal;
}

struct SeamMeasure {
    double snr = 0;               // dB, over the whole signal
    std::vector<double> windows;  // error energy of each 20 ms
};

// Against the source, with the delay aligned. Where the later encoder takes over is the library's
// choice near each seam, so every window counts.
SeamMeasure Measure(const std::vector<std::vector<double>>& source, const MediaFacts& decoded,
                    uint32_t rate) {
    const std::size_t length = source[0].size();
    auto error = [&](std::size_t from, std::size_t to) {
        double sum = 0;
        for (std::size_t c = 0; c < source.size(); ++c) {
            for (std::size_t n = from; n < to; ++n) {
                const double e = decoded.samples[c].at(n + kCodecDelay) - source[c][n];
                sum += e * e;
            }
        }
        return sum;
    };
    double energy = 0;
    for (const auto& channel : source) {
        for (const double value : channel) {
            energy += value * value;
        }
    }
    SeamMeasure measure;
    measure.snr = 10 * std::log10(energy / error(0, length));
    const std::size_t window = rate / 50;
    for (std::size_t at = 0; at + window <= length; at += window) {
        measure.windows.push_back(error(at, at + window));
    }
    return measure;
}

// A stream of no more than two segments keeps one encoder: the same bytes as with one per stream.
TEST_F(LameEnc, ShortStreamsKeepOneEncoder) {
    const LameConfig config = Config(22050, 3, 64);
    for (const std::size_t frames : {kSegmentFrames + 1, 2 * kSegmentFrames}) {
        std::vector<int16_t> pcm(frames * 576 + 7);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            pcm[i] = static_cast<int16_t>(9000 * std::sin(0.01 * static_cast<double>(i)));
        }
        ::setenv("SONVERT_MP3_THREADS", "1", 1);
        const std::vector<uint8_t> one = Encode(config, pcm);
        ::unsetenv("SONVERT_MP3_THREADS");
        EXPECT_EQ(Encode(config, pcm), one) << frames << " frames";
    }
}

class LameSeams : public LameEnc, public ::testing::WithParamInterface<SeamRow> {};

TEST_P(LameSeams, CannotBeHeardOrTold) {
    const SeamRow row = GetParam();
    const std::size_t frameSize = row.rate >= 32000 ? 1152 : 576;
    const std::size_t seamEvery = kSegmentFrames * frameSize;
    const auto source = SeamSignal(row, seamEvery * 11 / 5, seamEvery, frameSize);
    std::vector<int16_t> pcm;
    for (std::size_t n = 0; n < source[0].size(); ++n) {
        for (const auto& channel : source) {
            pcm.push_back(static_cast<int16_t>(std::lround(32767 * channel[n])));
        }
    }
    LameConfig config = Config(row.rate, row.mode, row.bitrate);
    config.crc = config.privateFlag = config.copyright = config.original = row.flags ? 1 : 0;
    const std::string path =
        (fs::temp_directory_path() / ("sonvert-seams-" + std::to_string(::getpid()) + ".mp3"))
            .string();
    std::vector<std::vector<uint8_t>> streams;
    std::vector<SeamMeasure> measures;
    std::vector<int64_t> decodedFrames;
    for (const bool parallel : {false, true}) {
        if (parallel) {
            ::unsetenv("SONVERT_MP3_THREADS");
        } else {
            ::setenv("SONVERT_MP3_THREADS", "1", 1);
        }
        streams.push_back(Encode(config, pcm));
        std::size_t consumed = 0;
        const auto frames = ReadMp3Frames(streams.back(), &consumed);
        ASSERT_EQ(consumed, streams.back().size()) << "parallel " << parallel;
        // The library's Info frame first, which only the writer of the finished file completes:
        // the decoder is given the audio frames after it, and so keeps the codec's delay.
        ASSERT_TRUE(frames.front().info);
        for (const Mp3Frame& frame : frames) {
            ASSERT_EQ(frame.bitrate, row.bitrate);
            ASSERT_EQ(frame.crc && frame.privateBit && frame.copyright && frame.original,
                      row.flags);
        }
        EXPECT_EQ(MainDataFault(frames), "") << "parallel " << parallel;
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(streams.back().data() + frames.front().size),
                      static_cast<std::streamsize>(streams.back().size() - frames.front().size));
        }
        EXPECT_EQ(StrictDecodeErrors(path), "") << "parallel " << parallel;
        const auto facts = ProbeMedia(path);
        ASSERT_TRUE(facts);
        measures.push_back(Measure(source, *facts, row.rate));
        decodedFrames.push_back(facts->decodedFrames);
    }
    ::unsetenv("SONVERT_MP3_THREADS");
    fs::remove(path);
    // Two encoders never agree on every frame's padding bit at 44,100 and 22,050 Hz.
    EXPECT_NE(streams[0], streams[1]) << "the stream was not cut into segments";
    EXPECT_EQ(decodedFrames[1], decodedFrames[0]);
    EXPECT_GT(measures[0].snr, 2.0) << "the delay is not aligned";
    EXPECT_NEAR(measures[1].snr, measures[0].snr, 0.1);
    // -90 dBFS over a window of all channels.
    const double floor = 1e-9 * static_cast<double>(row.rate / 50 * source.size());
    for (std::size_t i = 0; i < measures[0].windows.size(); ++i) {
        EXPECT_LE(measures[1].windows[i], 2 * std::max(measures[0].windows[i], floor))
            << "window " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, LameSeams,
    ::testing::Values(SeamRow{"sweep_stereo_44100", Base::Sweep, 44100, 0, 128, false},
                      SeamRow{"sweep_mono_22050", Base::Sweep, 22050, 3, 64, true},
                      SeamRow{"noise_mono_44100", Base::Noise, 44100, 3, 128, true},
                      SeamRow{"noise_stereo_22050", Base::Noise, 22050, 0, 64, false},
                      SeamRow{"constant_stereo_44100", Base::Constant, 44100, 0, 128, false},
                      SeamRow{"sparse_stereo_44100", Base::Sparse, 44100, 0, 128, true},
                      SeamRow{"sparse_mono_22050", Base::Sparse, 22050, 3, 64, false}),
    [](const ::testing::TestParamInfo<SeamRow>& row) { return std::string(row.param.name); });

struct RateRow {
    uint32_t input;
    uint32_t bitrate;
    uint32_t output;  // 0: refused
};

TEST(Mp3OutputRate, KeepsTheInputRateWhereTheBitrateIsLegal) {
    const RateRow rows[] = {
        {44100, 128, 44100},
        {48000, 320, 48000},
        {32000, 32, 32000},
        {22050, 128, 22050},
        {24000, 160, 24000},
        {16000, 8, 16000},
        {11025, 64, 11025},
        {8000, 32, 8000},
        {12000, 8, 12000},
        // Not legal at the input's rate: the nearest rate that carries it.
        {22050, 192, 32000},
        {22050, 320, 32000},
        {24000, 256, 32000},
        {11025, 96, 16000},
        {8000, 160, 16000},
        {44100, 8, 24000},
        {48000, 144, 24000},
        // Rates that are not MP3 rates at all.
        {96000, 128, 48000},
        {37800, 128, 32000},
        {40000, 128, 44100},
        {38050, 128, 44100},  // equally far from 32,000 and 44,100: the higher
        {6000, 32, 8000},
        // No MP3 rate carries these.
        {44100, 33, 0},
        {44100, 0, 0},
        {44100, 400, 0},
    };
    for (const RateRow& row : rows) {
        const auto rate = lamestandin::OutputRateFor(row.input, row.bitrate);
        EXPECT_EQ(rate.value_or(0), row.output) << row.input << " Hz at " << row.bitrate;
        if (rate) {
            EXPECT_TRUE(lamestandin::BitrateLegalAt(*rate, row.bitrate));
        }
    }
}

// --- vorbis ---------------------------------------------------------------------------------

class Vorbis : public ::testing::Test {
  protected:
    Loaded library_{"vorbis.dll"};
    VbEncOpenFn open_ = library_.Get<VbEncOpenFn>("vbEncOpen");
    VbEncWriteFn write_ = library_.Get<VbEncWriteFn>("vbEncWrite");
    VbEncCloseFn close_ = library_.Get<VbEncCloseFn>("vbEncClose");
    VbVersionFn version_ = library_.Get<VbVersionFn>("vbVersion");

    static VorbisEncSettings Settings(uint32_t channels, uint32_t rate, float quality) {
        VorbisEncSettings settings{};
        settings.magic = 1024;
        settings.size = sizeof(VorbisEncSettings);
        settings.channels = channels;
        settings.sampleRate = rate;
        settings.version = 300;
        settings.quality = quality;
        return settings;
    }
    static VorbisStreamInfo Info() {
        VorbisStreamInfo info{};
        info.size = sizeof(VorbisStreamInfo);
        return info;
    }
};

TEST_F(Vorbis, RefusesBadRecords) {
    struct Row {
        const char* why;
        VorbisEncSettings settings;
        VorbisStreamInfo info;
    };
    VorbisEncSettings badMagic = Settings(2, 44100, 0.4f);
    badMagic.magic = 1023;
    VorbisEncSettings badSize = Settings(2, 44100, 0.4f);
    badSize.size = 256;
    VorbisEncSettings badVersion = Settings(2, 44100, 0.4f);
    badVersion.version = 200;
    VorbisStreamInfo badInfo = Info();
    badInfo.size = 56 + 1;
    const Row rows[] = {
        {"wrong first word", badMagic, Info()},
        {"wrong record size", badSize, Info()},
        {"wrong version word", badVersion, Info()},
        {"no channels", Settings(0, 44100, 0.4f), Info()},
        {"three channels", Settings(3, 44100, 0.4f), Info()},
        {"no sample rate", Settings(2, 0, 0.4f), Info()},
        {"quality above 1", Settings(2, 44100, 1.5f), Info()},
        {"negative quality", Settings(2, 44100, -0.5f), Info()},
        {"quality not a number", Settings(2, 44100, std::numeric_limits<float>::quiet_NaN()),
         Info()},
        {"wrong information size", Settings(2, 44100, 0.4f), badInfo},
    };
    for (const Row& row : rows) {
        uint32_t chunk = 0;
        uint32_t size = 0;
        VorbisStream stream = 0;
        EXPECT_NE(open_(&row.settings, &row.info, &chunk, &size, &stream), 0u) << row.why;
    }
    std::vector<uint8_t> buffer(1000);
    uint32_t produced = 0;
    int16_t samples[2] = {};
    EXPECT_NE(write_(777, 2, samples, buffer.data(), &produced), 0u);
    EXPECT_NE(close_(777, buffer.data(), &produced), 0u);
}

TEST_F(Vorbis, TextsAreOptionalAndHalfFramesWaitForTheirPartner) {
    const VorbisEncSettings settings = Settings(2, 44100, 0.1f);
    const VorbisStreamInfo info = Info();  // no texts at all
    uint32_t chunk = 0;
    uint32_t size = 0;
    VorbisStream stream = 0;
    ASSERT_EQ(open_(&settings, &info, &chunk, &size, &stream), 0u);
    std::vector<uint8_t> buffer(size);
    std::vector<uint8_t> file;
    // 3 + 5 values make four stereo frames.
    for (uint32_t count : {3u, 5u}) {
        std::vector<int16_t> samples(count, 1000);
        uint32_t produced = 0;
        ASSERT_EQ(write_(stream, count, samples.data(), buffer.data(), &produced), 0u);
        file.insert(file.end(), buffer.begin(), buffer.begin() + produced);
    }
    uint32_t produced = 0;
    ASSERT_EQ(close_(stream, buffer.data(), &produced), 0u);
    file.insert(file.end(), buffer.begin(), buffer.begin() + produced);
    EXPECT_EQ(LastOggGranule(file), 4);
}

TEST_F(Vorbis, ReportsLibvorbisVersion) {
    VorbisVersion version{};
    EXPECT_EQ(version_(&version), 0u);
    EXPECT_EQ(version.engineMajor, SONVERT_TEST_LIBVORBIS_MAJOR);
    EXPECT_EQ(version.engineMinor, SONVERT_TEST_LIBVORBIS_MINOR);
}

// --- vorbis: one long stream on every core -----------------------------------------------------

// The library's segments in seconds; it joins them a little before each seam.
constexpr std::size_t kVorbisSegmentSeconds = 20;

// The pages with their serial number and checksum cleared: each stream draws its own serial.
std::vector<uint8_t> WithoutSerial(std::vector<uint8_t> bytes) {
    for (std::size_t at = 0; at + 27 <= bytes.size();) {
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at + 14),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + 18), 0);
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at + 22),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + 26), 0);
        const std::size_t segments = bytes[at + 26];
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments && at + 27 + i < bytes.size(); ++i) {
            body += bytes[at + 27 + i];
        }
        at += 27 + segments + body;
    }
    return bytes;
}

struct VorbisRow {
    SeamRow signal;
    float quality;
};

class VorbisStreams : public Vorbis {
  protected:
    std::vector<uint8_t> Encode(const VorbisEncSettings& settings,
                                const std::vector<int16_t>& pcm) {
        const VorbisStreamInfo info = Info();
        uint32_t chunk = 0;
        uint32_t size = 0;
        VorbisStream stream = 0;
        EXPECT_EQ(open_(&settings, &info, &chunk, &size, &stream), 0u);
        std::vector<uint8_t> buffer(size);
        std::vector<uint8_t> file;
        uint32_t produced = 0;
        for (std::size_t at = 0; at < pcm.size(); at += chunk) {
            const auto count = static_cast<uint32_t>(std::min<std::size_t>(chunk, pcm.size() - at));
            EXPECT_EQ(write_(stream, count, pcm.data() + at, buffer.data(), &produced), 0u);
            file.insert(file.end(), buffer.begin(), buffer.begin() + produced);
        }
        EXPECT_EQ(close_(stream, buffer.data(), &produced), 0u);
        file.insert(file.end(), buffer.begin(), buffer.begin() + produced);
        return WithoutSerial(file);
    }
    std::vector<uint8_t> EncodeAlone(const VorbisEncSettings& settings,
                                     const std::vector<int16_t>& pcm) {
        ::setenv("SONVERT_OGG_THREADS", "1", 1);
        std::vector<uint8_t> one = Encode(settings, pcm);
        ::unsetenv("SONVERT_OGG_THREADS");
        return one;
    }
};

class VorbisSeams : public VorbisStreams, public ::testing::WithParamInterface<VorbisRow> {};

TEST_P(VorbisSeams, GiveTheBytesOfOneEncoder) {
    const VorbisRow row = GetParam();
    const std::size_t seamEvery = kVorbisSegmentSeconds * row.signal.rate;
    const auto source = SeamSignal(row.signal, seamEvery * 5 / 2, seamEvery, 2048);
    std::vector<int16_t> pcm;
    for (std::size_t n = 0; n < source[0].size(); ++n) {
        for (const auto& channel : source) {
            pcm.push_back(
                static_cast<int16_t>(std::lround(32767 * std::clamp(channel[n], -1.0, 1.0))));
        }
    }
    const VorbisEncSettings settings =
        Settings(static_cast<uint32_t>(source.size()), row.signal.rate, row.quality);
    const std::vector<uint8_t> one = EncodeAlone(settings, pcm);
    EXPECT_EQ(LastOggGranule(one), static_cast<int64_t>(source[0].size()));
    EXPECT_EQ(Encode(settings, pcm), one);
    EXPECT_TRUE(PoolThreadRuns("sonvert-ogg")) << "the stream was not cut into segments";
    // Two streams at once, as `--jobs 2` converts them: one of them keeps one encoder.
    std::vector<uint8_t> other;
    std::thread second([&] { other = Encode(settings, pcm); });
    EXPECT_EQ(Encode(settings, pcm), one);
    second.join();
    EXPECT_EQ(other, one);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, VorbisSeams,
    ::testing::Values(VorbisRow{{"sweep_stereo_44100", Base::Sweep, 44100, 0, 0, false}, 0.4f},
                      VorbisRow{{"sweep_mono_22050", Base::Sweep, 22050, 3, 0, false}, 0.3f},
                      VorbisRow{{"noise_mono_44100", Base::Noise, 44100, 3, 0, false}, 0.6f},
                      VorbisRow{{"noise_stereo_22050", Base::Noise, 22050, 0, 0, false}, 0.2f},
                      VorbisRow{{"constant_stereo_44100", Base::Constant, 44100, 0, 0, false},
                                0.4f},
                      VorbisRow{{"sparse_stereo_44100", Base::Sparse, 44100, 0, 0, false}, 0.4f},
                      VorbisRow{{"sparse_mono_22050", Base::Sparse, 22050, 3, 0, false}, 0.1f},
                      VorbisRow{{"hush_stereo_44100", Base::Hush, 44100, 0, 0, false}, 0.1f},
                      VorbisRow{{"hush_mono_22050", Base::Hush, 22050, 3, 0, false}, 0.3f}),
    [](const ::testing::TestParamInfo<VorbisRow>& row) {
        return std::string(row.param.signal.name);
    });

// Around the length from which a stream goes to the pool: one segment past two, the lead-in
// before the first join, and the least last segment.
TEST_F(VorbisStreams, ShortStreamsKeepOneEncoder) {
    constexpr uint32_t kRate = 11025;
    const VorbisEncSettings settings = Settings(1, kRate, 0.3f);
    const std::size_t segment = kVorbisSegmentSeconds * kRate;
    for (const std::size_t frames : {2 * segment + kRate * 2 / 5 + kRate,
                                     2 * segment + kRate * 2 / 5 + kRate + 1, 3 * segment + 7}) {
        std::vector<int16_t> pcm(frames);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            pcm[i] = static_cast<int16_t>(9000 * std::sin(0.01 * static_cast<double>(i)) *
                                          (i % 40000 < 20000 ? 1 : 0.1));
        }
        EXPECT_EQ(Encode(settings, pcm), EncodeAlone(settings, pcm)) << frames << " frames";
    }
}

// --- wmaudsdk -------------------------------------------------------------------------------

class WmaWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonvert-wma-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    WmaAudioWriter* Create(const std::string& name) {
        const std::u16string path = fs::path(dir_ / name).u16string();
        WmaAudioWriter* writer = nullptr;
        EXPECT_GE(create_(path.c_str(), &writer), 0);
        return writer;
    }
    static WmaWaveFormat Input(uint16_t channels, uint32_t rate) {
        WmaWaveFormat format{};
        format.formatTag = 1;
        format.channels = channels;
        format.samplesPerSec = rate;
        format.bitsPerSample = 16;
        format.blockAlign = static_cast<uint16_t>(channels * 2);
        format.avgBytesPerSec = rate * format.blockAlign;
        return format;
    }

    Loaded library_{"wmaudsdk.dll"};
    WMAudioCreateWriterFn create_ = library_.Get<WMAudioCreateWriterFn>("WMAudioCreateWriter");
    fs::path dir_;
};

TEST_F(WmaWriter, RefusesInputItCannotRead) {
    struct Row {
        const char* why;
        WmaWaveFormat format;
    };
    WmaWaveFormat float32 = Input(2, 44100);
    float32.formatTag = 3;
    WmaWaveFormat eightBit = Input(1, 8000);
    eightBit.bitsPerSample = 8;
    WmaWaveFormat badAlign = Input(2, 44100);
    badAlign.blockAlign = 2;
    WmaWaveFormat badRate = Input(2, 44100);
    badRate.avgBytesPerSec = 1000;
    const Row rows[] = {{"not PCM", float32},
                        {"8-bit samples", eightBit},
                        {"three channels", Input(3, 44100)},
                        {"no sample rate", Input(2, 0)},
                        {"a rate too low to resample", Input(2, 999)},
                        {"a wrong block alignment", badAlign},
                        {"a wrong byte rate", badRate}};
    for (const Row& row : rows) {
        WmaAudioWriter* writer = Create("in.wma");
        ASSERT_NE(writer, nullptr);
        EXPECT_LT(writer->table->SetInputFormat(writer, &row.format), 0) << row.why;
        writer->table->Release(writer);
    }
    EXPECT_FALSE(fs::exists(dir_ / "in.wma")) << "an unconfigured writer leaves no file";
}

TEST_F(WmaWriter, RefusesOutputItCannotWrite) {
    struct Row {
        uint32_t bitrate, rate, channels, flags;
    };
    const Row rows[] = {{96000, 48000, 2, 0}, {96000, 22050, 2, 0}, {96000, 44100, 1, 0},
                        {8000, 44100, 2, 0},  {23999, 44100, 2, 0}, {320001, 44100, 2, 0},
                        {96000, 44100, 2, 1}};
    const WmaWaveFormat input = Input(2, 44100);
    for (const Row& row : rows) {
        WmaAudioWriter* writer = Create("out.wma");
        ASSERT_NE(writer, nullptr);
        ASSERT_GE(writer->table->SetInputFormat(writer, &input), 0);
        EXPECT_LT(
            writer->table->SetOutputFormat(writer, row.bitrate, row.rate, row.channels, row.flags),
            0)
            << row.bitrate << " bit/s, " << row.rate << " Hz, " << row.channels << " channels";
        writer->table->Release(writer);
    }
}

TEST_F(WmaWriter, KeepsItsCallsInOrder) {
    WmaAudioWriter* writer = nullptr;
    const std::u16string missing = fs::path(dir_ / "no-such-folder" / "x.wma").u16string();
    EXPECT_LT(create_(missing.c_str(), &writer), 0);
    EXPECT_EQ(writer, nullptr);

    writer = Create("order.wma");
    ASSERT_NE(writer, nullptr);
    const uint8_t bytes[4] = {};
    EXPECT_LT(writer->table->SetOutputFormat(writer, 96000, 44100, 2, 0), 0)
        << "the input format comes first";
    EXPECT_LT(writer->table->Write(writer, bytes, 4), 0) << "no writing before both formats";
    EXPECT_LT(writer->table->Finish(writer), 0);
    const WmaWaveFormat input = Input(1, 11025);
    ASSERT_GE(writer->table->SetInputFormat(writer, &input), 0);
    ASSERT_GE(writer->table->SetOutputFormat(writer, 64000, 44100, 2, 0), 0);
    EXPECT_LT(writer->table->SetInputFormat(writer, &input), 0) << "no change once started";
    // An odd byte count: the half sample waits for the next block.
    std::vector<uint8_t> pcm(11025 * 2, 0);
    EXPECT_GE(writer->table->Write(writer, pcm.data(), 11025), 0);
    EXPECT_GE(writer->table->Write(writer, pcm.data() + 11025, 11025), 0);
    EXPECT_GE(writer->table->Finish(writer), 0);
    EXPECT_GE(writer->table->Finish(writer), 0) << "finishing twice is harmless";
    EXPECT_LT(writer->table->Write(writer, bytes, 4), 0) << "a finished file takes nothing more";
    writer->table->Release(writer);

    const auto facts = ProbeMedia((dir_ / "order.wma").string());
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->sampleRate, 44100);
    EXPECT_EQ(facts->channels, 2);
    EXPECT_EQ(facts->bitRate, 64000);
    EXPECT_NEAR(static_cast<double>(facts->decodedFrames), 44100, 2 * 2048);
}

// --- wmaudsdk: one long file on every core
// --------------------------------------------------------

// The library's segments in 2,048-sample frames at 44,100 Hz, its first frame being silence.
constexpr std::size_t kWmaSegmentFrames = 32;

class WmaSeams : public WmaWriter, public ::testing::WithParamInterface<SeamRow> {};

TEST_P(WmaSeams, GiveTheBytesOfOneEncoder) {
    const SeamRow row = GetParam();
    const std::size_t frame = 2048 * row.rate / 44100;
    const std::size_t seamEvery = kWmaSegmentFrames * frame;
    // Clicks on each seam (a frame before the multiple) and beside it.
    const auto source = SeamSignal(row, seamEvery * 7 / 2, seamEvery, frame);
    std::vector<uint8_t> pcm;
    for (std::size_t n = 0; n < source[0].size(); ++n) {
        for (const auto& channel : source) {
            const auto value = static_cast<int16_t>(std::lround(32767 * channel[n]));
            pcm.push_back(static_cast<uint8_t>(value & 0xFF));
            pcm.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
        }
    }
    const WmaWaveFormat input = Input(static_cast<uint16_t>(source.size()), row.rate);
    auto encode = [&](const char* name, bool finish) {
        WmaAudioWriter* writer = Create(name);
        EXPECT_GE(writer->table->SetInputFormat(writer, &input), 0);
        EXPECT_GE(writer->table->SetOutputFormat(writer, row.bitrate * 1000u, 44100, 2, 0), 0);
        for (std::size_t at = 0; at < pcm.size(); at += 16384) {
            const auto size = static_cast<uint32_t>(std::min<std::size_t>(16384, pcm.size() - at));
            EXPECT_GE(writer->table->Write(writer, pcm.data() + at, size), 0);
        }
        EXPECT_GE(finish ? writer->table->Finish(writer) : 0, 0);
        EXPECT_EQ(writer->table->Release(writer), 0u);
        return ReadFileBytes((dir_ / name).string());
    };
    ::setenv("SONVERT_WMA_THREADS", "1", 1);
    const std::vector<uint8_t> one = encode("one.wma", true);
    ::unsetenv("SONVERT_WMA_THREADS");
    EXPECT_EQ(encode("pool.wma", true), one);
    EXPECT_TRUE(PoolThreadRuns("sonvert-wma")) << "the file was not cut into segments";
    // Two files at once, as `--jobs 2` converts them: each leaves the pool, wherever it is, once
    // the other is open.
    std::vector<uint8_t> other;
    std::thread second([&] { other = encode("pair2.wma", true); });
    EXPECT_EQ(encode("pair.wma", true), one);
    second.join();
    EXPECT_EQ(other, one);
    // Released in the middle of the stream: the writer waits for its segments on the pool.
    encode("stopped.wma", false);
    const auto facts = ProbeMedia((dir_ / "one.wma").string());
    ASSERT_TRUE(facts);
    EXPECT_NEAR(static_cast<double>(facts->decodedFrames),
                static_cast<double>(source[0].size()) * 44100 / row.rate, 2 * 2048);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, WmaSeams,
    ::testing::Values(SeamRow{"sweep_stereo_44100", Base::Sweep, 44100, 0, 128, false},
                      SeamRow{"sweep_mono_22050", Base::Sweep, 22050, 3, 64, false},
                      SeamRow{"noise_mono_44100", Base::Noise, 44100, 3, 128, false},
                      SeamRow{"noise_stereo_22050", Base::Noise, 22050, 0, 64, false},
                      SeamRow{"constant_stereo_44100", Base::Constant, 44100, 0, 128, false},
                      SeamRow{"sparse_stereo_44100", Base::Sparse, 44100, 0, 160, false},
                      SeamRow{"sparse_mono_22050", Base::Sparse, 22050, 3, 48, false},
                      SeamRow{"sweep_stereo_48000", Base::Sweep, 48000, 0, 96, false},
                      SeamRow{"noise_mono_48000", Base::Noise, 48000, 3, 80, false}),
    [](const ::testing::TestParamInfo<SeamRow>& row) { return std::string(row.param.name); });

}  // namespace
