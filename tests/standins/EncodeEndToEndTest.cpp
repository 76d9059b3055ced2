// SPDX-License-Identifier: GPL-3.0-or-later
// Real WAVE files through the worker, the back-ends and the encoder libraries of the program's
// folder, read back with FFmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "ConversionOptions.h"
#include "Convertthread.h"
#include "MediaProbe.h"
#include "MessageBox.h"
#include "TestWave.h"

namespace fs = std::filesystem;

namespace {

// The MP3 library's chunk is one frame, in sample frames: the worker's silence tail is two such
// blocks.
constexpr int64_t Mp3BlockFrames(uint32_t rate) {
    return rate >= 32000 ? 1152 : 576;
}
constexpr int64_t kWmaFrame = 2048;

class Recorder final : public ConversionReporter {
  public:
    void FileStarted(const std::string&) override {}
    void Progress(int, int) override {
        if (onProgress) {
            onProgress();
        }
    }
    void FileFinished(const std::string&, FileOutcome outcome) override {
        std::lock_guard lock(mutex);
        outcomes.push_back(outcome);
    }
    void BatchEnded() override {
        std::lock_guard lock(mutex);
        ended = true;
        endedCondition.notify_all();
    }

    // The outcomes once the batch has ended. Waiting here, rather than only joining the thread,
    // is what orders the worker's writes before these reads for the race detector too.
    std::vector<FileOutcome> Outcomes() {
        std::unique_lock lock(mutex);
        endedCondition.wait(lock, [this] { return ended; });
        return outcomes;
    }

    std::mutex mutex;
    std::condition_variable endedCondition;
    bool ended = false;
    std::vector<FileOutcome> outcomes;
    std::function<void()> onProgress;  // on the worker's thread
};

struct BoxCatcher {
    BoxCatcher() {
        platform::SetMessageSink([this](const platform::BoxRecord& box) {
            std::lock_guard lock(mutex);
            boxes.push_back(box.caption + ": " + box.text);
        });
    }
    ~BoxCatcher() { platform::SetMessageSink({}); }
    std::mutex mutex;
    std::vector<std::string> boxes;
};

class Workspace : public ::testing::Test {
  protected:
    void SetUp() override {
        // A parameterised test's name holds "/", which would make a folder inside a folder that
        // removing the inner one leaves behind.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ =
            fs::temp_directory_path() / ("sonvert-e2e-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        EXPECT_EQ(dir_.parent_path(), (fs::temp_directory_path() / "").parent_path())
            << "a folder left behind";
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Runs one batch to its end, or stopped after its first block, and returns each file's
    // outcome; boxes land in `boxes_`.
    std::vector<FileOutcome> Convert(const std::vector<std::string>& sources,
                                     const ConversionOptions& options, bool stop = false) {
        Recorder recorder;
        TConvertThread worker(true);
        if (stop) {
            recorder.onProgress = [&worker] { worker.Terminate(); };
        }
        worker.FreeOnTerminate = false;
        worker.FileList = sources;
        worker.SetOptions(options);
        worker.SetReporter(&recorder);
        worker.Resume();
        std::vector<FileOutcome> outcomes = recorder.Outcomes();
        worker.wait();
        return outcomes;
    }

    fs::path dir_;
    BoxCatcher boxes_;
};

std::string TagOf(const MediaFacts& facts, const std::string& key) {
    const auto found = facts.tags.find(key);
    return found == facts.tags.end() ? std::string() : found->second;
}

std::string Extension(OutputFormat format) {
    switch (format) {
        case OutputFormat::MP3:
            return ".mp3";
        case OutputFormat::WMA:
            return ".wma";
        default:
            return ".ogg";
    }
}

// --- Every input shape through every format ------------------------------------------------

struct Shape {
    OutputFormat format;
    uint16_t bits;
    uint16_t channels;
    uint32_t rate;
};

std::string ShapeName(const ::testing::TestParamInfo<Shape>& info) {
    const Shape& s = info.param;
    return Extension(s.format).substr(1) + "_" + std::to_string(s.bits) + "bit_" +
           (s.channels == 1 ? "mono_" : "stereo_") + std::to_string(s.rate);
}

std::vector<Shape> AllShapes() {
    std::vector<Shape> shapes;
    for (OutputFormat format : {OutputFormat::MP3, OutputFormat::WMA, OutputFormat::OGG}) {
        for (uint16_t bits : {uint16_t{8}, uint16_t{16}}) {
            for (uint16_t channels : {uint16_t{1}, uint16_t{2}}) {
                for (uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
                    shapes.push_back({format, bits, channels, rate});
                }
            }
        }
    }
    return shapes;
}

class EveryShape : public Workspace, public ::testing::WithParamInterface<Shape> {};

TEST_P(EveryShape, GivesAPlayableFileOfTheRightShape) {
    const Shape shape = GetParam();
    const uint32_t frames = shape.rate * 7 / 10;  // 0.7 s
    const std::string source = Path("in.wav");
    ASSERT_TRUE(testwave::WriteTone(source, {1, shape.channels, shape.rate, shape.bits}, frames));
    ConversionOptions options;
    options.OutputFormat = shape.format;

    ASSERT_EQ(Convert({source}, options), std::vector<FileOutcome>{FileOutcome::Converted});
    EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front();

    const std::string output = Path("in" + Extension(shape.format));
    std::string error;
    const auto facts = ProbeMedia(output, &error);
    ASSERT_TRUE(facts) << error;
    const double seconds = static_cast<double>(frames) / shape.rate;

    switch (shape.format) {
        case OutputFormat::MP3: {
            EXPECT_EQ(facts->codec, "mp3");
            EXPECT_EQ(facts->sampleRate, static_cast<int>(shape.rate));
            EXPECT_EQ(facts->channels, shape.channels);
            // Index 3 asks 128 kbit/s; 11,025 Hz and below carry at most 64.
            const int bitrate = shape.rate <= 11025 ? 64 : 128;
            std::size_t consumed = 0;
            const std::vector<uint8_t> bytes = ReadFileBytes(output);
            const auto headers = ReadMp3Frames(bytes, &consumed);
            EXPECT_EQ(consumed, bytes.size()) << "a frame breaks the chain";
            ASSERT_FALSE(headers.empty());
            for (const Mp3Frame& frame : headers) {
                ASSERT_EQ(frame.bitrate, bitrate);
                ASSERT_EQ(frame.mode, shape.channels == 1 ? 3 : 0);
            }
            EXPECT_EQ(facts->bitRate, bitrate * 1000);
            // The Info frame counts the silence tail and an 8-bit file's last block as padding.
            EXPECT_EQ(facts->decodedFrames, frames);
            break;
        }
        case OutputFormat::WMA: {
            EXPECT_EQ(facts->codec, "wmav2");
            EXPECT_EQ(facts->sampleRate, 44100);
            EXPECT_EQ(facts->channels, 2);
            EXPECT_EQ(facts->bitRate, 96000);
            // The container counts the frame of silence in front, which decoding drops, and the
            // padding of the last frame.
            EXPECT_NEAR(facts->durationSeconds, seconds + 1.5 * kWmaFrame / 44100.0,
                        0.5 * kWmaFrame / 44100.0 + 0.002);
            const auto expected = static_cast<int64_t>(seconds * 44100);
            EXPECT_GE(facts->decodedFrames, expected);
            EXPECT_LE(facts->decodedFrames, expected + kWmaFrame);
            break;
        }
        case OutputFormat::OGG: {
            EXPECT_EQ(facts->codec, "vorbis");
            EXPECT_EQ(facts->sampleRate, static_cast<int>(shape.rate));
            EXPECT_EQ(facts->channels, shape.channels);
            // The last granule position makes the sample count exact for a decoder that
            // honours it; FFmpeg's own decoding is off by up to one block at either end.
            EXPECT_EQ(LastOggGranule(ReadFileBytes(output)), frames);
            EXPECT_NEAR(static_cast<double>(facts->decodedFrames), frames, 2048);
            EXPECT_NEAR(facts->durationSeconds, seconds, 0.001);
            EXPECT_EQ(TagOf(*facts, "TITLE"), "Title Unknown");
            EXPECT_EQ(TagOf(*facts, "ARTIST"), "Artist Unknown");
            EXPECT_EQ(TagOf(*facts, "ALBUM"), "Album Unknown");
            EXPECT_EQ(TagOf(*facts, "COMMENT"), "Encoded with Vorbis DLL example");
            break;
        }
    }
    // The tone survives: no format turns it into silence.
    ASSERT_FALSE(facts->rms.empty());
    EXPECT_GT(facts->rms[0], 0.1);
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryShape, ::testing::ValuesIn(AllShapes()), ShapeName);

// --- MP3: the bitrate asked is the bitrate written -----------------------------------------

struct Mp3Rate {
    uint32_t inputRate;
    int index;
    int outputRate;
    int bitrate;
};

class Mp3Rates : public Workspace, public ::testing::WithParamInterface<Mp3Rate> {};

TEST_P(Mp3Rates, KeepTheBitrateAndMoveTheRateOnlyWhenItCannotCarryIt) {
    const Mp3Rate row = GetParam();
    const std::string source = Path("rate.wav");
    // Three seconds: enough data that no silence tail is added.
    ASSERT_TRUE(testwave::WriteTone(source, {1, 2, row.inputRate, 16}, 3 * row.inputRate));
    ConversionOptions options;
    options.Mp3BitrateIndex = row.index;
    ASSERT_EQ(Convert({source}, options), std::vector<FileOutcome>{FileOutcome::Converted});

    const std::string output = Path("rate.mp3");
    const std::vector<uint8_t> bytes = ReadFileBytes(output);
    std::size_t consumed = 0;
    const auto headers = ReadMp3Frames(bytes, &consumed);
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(consumed, bytes.size());
    for (const Mp3Frame& frame : headers) {
        // The Info frame takes a larger bitrate where the stream's frame cannot hold its seek
        // table (32 kbit/s at 44,100 Hz).
        if (!frame.info) {
            ASSERT_EQ(frame.bitrate, row.bitrate);
        }
        ASSERT_EQ(frame.sampleRate, row.outputRate);
    }
    const auto facts = ProbeMedia(output);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->bitRate, row.bitrate * 1000);
    EXPECT_EQ(facts->sampleRate, row.outputRate);
    // Resampled or not, the file lasts exactly as long as its source.
    EXPECT_EQ(facts->decodedFrames, 3 * row.outputRate);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Mp3Rates,
    ::testing::Values(Mp3Rate{44100, 0, 44100, 32}, Mp3Rate{44100, 6, 44100, 320},
                      Mp3Rate{48000, 5, 48000, 256}, Mp3Rate{22050, 3, 22050, 128},
                      // 192 and 320 do not exist at 22,050 Hz.
                      Mp3Rate{22050, 4, 32000, 192}, Mp3Rate{22050, 6, 32000, 320},
                      Mp3Rate{11025, 6, 11025, 64}, Mp3Rate{11025, 0, 11025, 32},
                      Mp3Rate{8000, 2, 8000, 64}, Mp3Rate{8000, 0, 8000, 32}));

// --- MP3: the four header flags in every frame ----------------------------------------------

struct Flags {
    bool crc, copyright, original, privateBit;
};

class Mp3Flags : public Workspace, public ::testing::WithParamInterface<Flags> {};

TEST_P(Mp3Flags, StandInEveryFrameHeader) {
    const Flags flags = GetParam();
    const std::string source = Path("flags.wav");
    ASSERT_TRUE(testwave::WriteTone(source, {1, 2, 44100, 16}, 44100));
    ConversionOptions options;
    options.Mp3Crc = flags.crc;
    options.Mp3Copyright = flags.copyright;
    options.Mp3Original = flags.original;
    options.Mp3Private = flags.privateBit;
    ASSERT_EQ(Convert({source}, options), std::vector<FileOutcome>{FileOutcome::Converted});

    const std::vector<uint8_t> bytes = ReadFileBytes(Path("flags.mp3"));
    std::size_t consumed = 0;
    const auto headers = ReadMp3Frames(bytes, &consumed);
    EXPECT_EQ(consumed, bytes.size());
    ASSERT_GT(headers.size(), 30u);
    for (const Mp3Frame& frame : headers) {
        ASSERT_EQ(frame.crc, flags.crc);
        ASSERT_EQ(frame.copyright, flags.copyright);
        ASSERT_EQ(frame.original, flags.original);
        ASSERT_EQ(frame.privateBit, flags.privateBit);
    }
    // FFmpeg checks the CRCs of protected frames and still decodes all of them.
    const auto facts = ProbeMedia(Path("flags.mp3"));
    ASSERT_TRUE(facts);
    EXPECT_GE(facts->decodedFrames, 44100);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Mp3Flags,
    ::testing::Values(Flags{false, false, false, false}, Flags{true, false, false, false},
                      Flags{false, true, false, false}, Flags{false, false, true, false},
                      Flags{false, false, false, true}, Flags{true, true, true, true}));

// --- MP3: long files on every core ----------------------------------------------------------

// Two files of a little over two segments of the MP3 library at once, as `--jobs 2` converts
// them: their segments share the library's threads and still join into whole, valid streams.
TEST_F(Workspace, LongMp3FilesShareTheLibrarysThreads) {
    constexpr int64_t kSegmentFrames = 768;
    const testwave::WaveShape shapes[] = {{1, 2, 44100, 16}, {1, 1, 22050, 16}};
    std::vector<std::unique_ptr<Recorder>> recorders;
    std::vector<std::unique_ptr<TConvertThread>> workers;
    for (const testwave::WaveShape& shape : shapes) {
        const std::string name = std::to_string(shape.channels) + "ch";
        const auto frames =
            static_cast<uint32_t>(kSegmentFrames * Mp3BlockFrames(shape.sampleRate) * 11 / 5);
        ASSERT_TRUE(testwave::WriteTone(Path(name + ".wav"), shape, frames, 0.5, 997.0));
        recorders.push_back(std::make_unique<Recorder>());
        workers.push_back(std::make_unique<TConvertThread>(true));
        workers.back()->FreeOnTerminate = false;
        workers.back()->FileList = {Path(name + ".wav")};
        workers.back()->SetOptions(ConversionOptions{});
        workers.back()->SetReporter(recorders.back().get());
    }
    for (auto& worker : workers) {
        worker->Resume();
    }
    for (std::size_t i = 0; i < workers.size(); ++i) {
        EXPECT_EQ(recorders[i]->Outcomes(), std::vector<FileOutcome>{FileOutcome::Converted});
        workers[i]->wait();
        const testwave::WaveShape& shape = shapes[i];
        const std::string output = Path(std::to_string(shape.channels) + "ch.mp3");
        const std::vector<uint8_t> bytes = ReadFileBytes(output);
        std::size_t consumed = 0;
        const auto frames = ReadMp3Frames(bytes, &consumed);
        EXPECT_EQ(consumed, bytes.size());
        EXPECT_EQ(MainDataFault(frames), "");
        EXPECT_EQ(StrictDecodeErrors(output), "");
        const auto facts = ProbeMedia(output);
        ASSERT_TRUE(facts);
        EXPECT_EQ(facts->decodedFrames, kSegmentFrames * Mp3BlockFrames(shape.sampleRate) * 11 / 5);
        EXPECT_EQ(Mp3InfoFault(bytes), "");
    }
}

// --- MP3: exactly the source's length ------------------------------------------------------

// Every MP3 rate at every bitrate index; length, channels, depth and CRC turn over among them.
class Mp3Length : public Workspace, public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(Mp3Length, IsTheSourcesToTheSample) {
    static const uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    static const uint32_t kLengths[] = {1, 575, 576, 1152, 44100};
    const auto [rateAt, index] = GetParam();
    const int n = rateAt * 7 + index;
    const uint32_t rate = kRates[rateAt], length = kLengths[n % 5];
    const auto channels = static_cast<uint16_t>(1 + n % 2);
    const auto bits = static_cast<uint16_t>(n % 3 == 2 ? 8 : 16);
    // Noise, whose one best alignment with its decoding is the delay that the Info frame names.
    std::vector<uint8_t> data;
    std::vector<int> noise;
    for (uint32_t i = 0, seed = 1; i < length * channels; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise.push_back(static_cast<int>((seed >> 16) & 0x7FFF) - 0x4000);
        testwave::PutLe(data, bits == 8 ? 128 + noise.back() / 256 : noise.back(), bits / 8);
    }
    ASSERT_TRUE(testwave::WriteRaw(Path("in.wav"), {1, channels, rate, bits}, data));
    ConversionOptions options;
    options.Mp3BitrateIndex = index;
    options.Mp3Crc = n % 4 >= 2;
    ASSERT_EQ(Convert({Path("in.wav")}, options), std::vector<FileOutcome>{FileOutcome::Converted});

    const std::string output = Path("in.mp3");
    const std::vector<uint8_t> bytes = ReadFileBytes(output);
    ASSERT_EQ(Mp3InfoFault(bytes), "");
    std::size_t consumed = 0;
    const Mp3Frame first = ReadMp3Frames(bytes, &consumed).front();
    EXPECT_EQ(first.crc, options.Mp3Crc);
    // A resampled stream holds the source's length in its own rate.
    const int64_t expected = std::llround(static_cast<double>(length) * first.sampleRate / rate);
    const auto facts = ProbeMedia(output);
    ASSERT_TRUE(facts);
    // FFmpeg 5.1 forgets the rest of a start skip that spans two frames when the end's discard
    // begins in the second (lame's own files alike): a source of under 47 samples at 576 a frame.
    if (length >= 47 || first.version == 1) {
        EXPECT_EQ(facts->decodedFrames, expected);
    }
    EXPECT_EQ(Mpg123Frames(output, channels), expected);
    EXPECT_EQ(Mp3valFaults(output), "");
    EXPECT_EQ(StrictDecodeErrors(output), "");
    if (length == 44100 && first.sampleRate == static_cast<int>(rate)) {
        std::vector<double> lags;
        for (std::size_t lag = 0; lag <= 128; ++lag) {
            double sum = 0;
            for (std::size_t i = 1000; i < 9000; ++i) {
                sum += noise[i * channels] * double{facts->samples[0][i + lag - 64]};
            }
            lags.push_back(sum);
        }
        EXPECT_EQ(std::max_element(lags.begin(), lags.end()) - lags.begin(), 64) << "misaligned";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Mp3Length,
                         ::testing::Combine(::testing::Range(0, 9), ::testing::Range(0, 7)));

// A file stopped in the windows is kept, its Info frame completed for the one block it got.
TEST_F(Workspace, StoppedMp3KeepsAValidInfoFrame) {
    ASSERT_TRUE(testwave::WriteTone(Path("stop.wav"), {1, 2, 44100, 16}, 3 * 44100));
    ASSERT_EQ(Convert({Path("stop.wav")}, {}, true),
              std::vector<FileOutcome>{FileOutcome::Stopped});
    EXPECT_EQ(Mp3InfoFault(ReadFileBytes(Path("stop.mp3"))), "");
    EXPECT_EQ(Mp3valFaults(Path("stop.mp3")), "");
    EXPECT_EQ(Mpg123Frames(Path("stop.mp3"), 2), 1152);
}

// --- Edge files -----------------------------------------------------------------------------

struct Edge {
    OutputFormat format;
    uint32_t frames;
};

class EdgeFiles : public Workspace, public ::testing::WithParamInterface<Edge> {};

TEST_P(EdgeFiles, StillGiveFilesThatFfmpegReads) {
    const Edge edge = GetParam();
    const std::string source = Path("edge.wav");
    ASSERT_TRUE(testwave::WriteTone(source, {1, 2, 44100, 16}, edge.frames));
    ConversionOptions options;
    options.OutputFormat = edge.format;
    ASSERT_EQ(Convert({source}, options), std::vector<FileOutcome>{FileOutcome::Converted});
    EXPECT_TRUE(boxes_.boxes.empty());

    std::string error;
    const auto facts = ProbeMedia(Path("edge" + Extension(edge.format)), &error);
    ASSERT_TRUE(facts) << error;
    switch (edge.format) {
        case OutputFormat::MP3:
            // The worker's two blocks of silence are padding.
            EXPECT_EQ(facts->decodedFrames, edge.frames);
            break;
        case OutputFormat::OGG:
            EXPECT_EQ(LastOggGranule(ReadFileBytes(Path("edge.ogg"))), edge.frames);
            break;
        case OutputFormat::WMA:
            EXPECT_EQ(facts->sampleRate, 44100);
            EXPECT_LE(facts->decodedFrames, edge.frames + 2 * kWmaFrame);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EdgeFiles,
                         ::testing::Values(Edge{OutputFormat::MP3, 0}, Edge{OutputFormat::MP3, 5},
                                           Edge{OutputFormat::OGG, 0}, Edge{OutputFormat::OGG, 5},
                                           Edge{OutputFormat::WMA, 0}, Edge{OutputFormat::WMA, 5}));

// --- WMA: every bitrate of the list, and mono at full loudness ------------------------------

class WmaBitrates : public Workspace, public ::testing::WithParamInterface<int> {};

TEST_P(WmaBitrates, AreWrittenAsAsked) {
    static const int kBitrates[] = {48000, 64000, 80000, 96000, 128000, 160000};
    const std::string source = Path("rate.wav");
    ASSERT_TRUE(testwave::WriteTone(source, {1, 2, 44100, 16}, 44100));
    ConversionOptions options;
    options.OutputFormat = OutputFormat::WMA;
    options.WmaBitrateIndex = GetParam();
    ASSERT_EQ(Convert({source}, options), std::vector<FileOutcome>{FileOutcome::Converted});
    const auto facts = ProbeMedia(Path("rate.wma"));
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->bitRate, kBitrates[GetParam()]);
    EXPECT_EQ(facts->codec, "wmav2");
}

INSTANTIATE_TEST_SUITE_P(Table, WmaBitrates, ::testing::Range(0, 6));

// The stand-in puts a frame of silence in front, which is the frame FFmpeg's decoder drops: the
// decoded audio begins with the first sample written and keeps every one.
TEST_F(Workspace, WmaDecodingStartsWithTheFirstSample) {
    constexpr uint32_t kFrames = 44100;
    std::vector<int16_t> noise(kFrames);
    uint32_t seed = 12345;
    std::vector<uint8_t> data;
    for (int16_t& sample : noise) {
        seed = seed * 1103515245u + 12345u;
        sample = static_cast<int16_t>(static_cast<int>((seed >> 16) & 0x7fff) - 0x4000);
        for (int channel = 0; channel < 2; ++channel) {
            testwave::PutLe(data, static_cast<uint16_t>(sample), 2);
        }
    }
    ASSERT_TRUE(testwave::WriteRaw(Path("noise.wav"), {1, 2, 44100, 16}, data));
    ConversionOptions options;
    options.OutputFormat = OutputFormat::WMA;
    options.WmaBitrateIndex = 5;
    ASSERT_EQ(Convert({Path("noise.wav")}, options),
              std::vector<FileOutcome>{FileOutcome::Converted});
    const auto facts = ProbeMedia(Path("noise.wma"));
    ASSERT_TRUE(facts);
    EXPECT_GE(facts->decodedFrames, kFrames);
    // The lag at which the decoded audio best matches the source, over its first 8,192 samples.
    constexpr int kSpan = 8192;
    ASSERT_GE(facts->samples[0].size(), static_cast<std::size_t>(kSpan + 2 * kWmaFrame));
    int bestLag = 0;
    double best = -1.0;
    for (int lag = -static_cast<int>(kWmaFrame) * 2; lag <= static_cast<int>(kWmaFrame) * 2;
         ++lag) {
        double sum = 0.0;
        for (int i = 0; i < kSpan; ++i) {
            const int at = i + lag;
            if (at >= 0) {
                sum += noise[static_cast<std::size_t>(i)] *
                       static_cast<double>(facts->samples[0][static_cast<std::size_t>(at)]);
            }
        }
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    EXPECT_LE(std::abs(bestLag), 4) << "decoding starts at input sample " << -bestLag;

    // A file shorter than a frame still decodes to all of its samples.
    ASSERT_TRUE(testwave::WriteTone(Path("short.wav"), {1, 2, 44100, 16}, 441));
    ASSERT_EQ(Convert({Path("short.wav")}, options),
              std::vector<FileOutcome>{FileOutcome::Converted});
    const auto shortFacts = ProbeMedia(Path("short.wma"));
    ASSERT_TRUE(shortFacts);
    EXPECT_GE(shortFacts->decodedFrames, 441);
    ASSERT_FALSE(shortFacts->rms.empty());
    EXPECT_GT(shortFacts->rms[0], 0.01);
}

TEST_F(Workspace, MonoWmaIsAsLoudOnBothSidesAsItsSource) {
    const std::string source = Path("mono.wav");
    ASSERT_TRUE(testwave::WriteTone(source, {1, 1, 22050, 16}, 22050, 0.5));
    ConversionOptions options;
    options.OutputFormat = OutputFormat::WMA;
    options.WmaBitrateIndex = 5;
    ASSERT_EQ(Convert({source}, options), std::vector<FileOutcome>{FileOutcome::Converted});
    const auto facts = ProbeMedia(Path("mono.wma"));
    ASSERT_TRUE(facts);
    ASSERT_EQ(facts->rms.size(), 2u);
    // A sine of peak 0.5 has an RMS of 0.354; 3 dB down would be 0.25.
    const double sourceRms = 0.5 / std::sqrt(2.0);
    for (double rms : facts->rms) {
        EXPECT_NEAR(rms / sourceRms, 1.0, 0.1);
    }
}

TEST_F(Workspace, OggQualityRaisesTheBitrate) {
    const std::string source = Path("q.wav");
    ASSERT_TRUE(testwave::WriteTone(source, {1, 2, 44100, 16}, 44100));
    std::vector<uintmax_t> sizes;
    for (int index : {0, 9}) {
        ConversionOptions options;
        options.OutputFormat = OutputFormat::OGG;
        options.OggQualityIndex = index;
        ASSERT_EQ(Convert({source}, options), std::vector<FileOutcome>{FileOutcome::Converted});
        sizes.push_back(fs::file_size(Path("q.ogg")));
    }
    EXPECT_GT(sizes[1], 2 * sizes[0]);
}

}  // namespace
