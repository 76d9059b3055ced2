// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>

#include "BoxRecorder.h"
#include "Convertthread.h"
#include "DoubleLibrary.h"
#include "OutputPath.h"
#include "WaveWriter.h"

using namespace testing_support;

namespace {

constexpr uint32_t kBlock = 4608;  // the doubles' 2304 samples per chunk, in bytes

// Records what a batch reports, in order; a hook may act on the worker's thread at each event.
class Recorder : public ConversionReporter {
  public:
    void FileStarted(const std::string& path) override { Add("start " + path); }
    void Progress(int current, int total) override {
        Add("progress " + std::to_string(current) + " " + std::to_string(total));
    }
    void FileFinished(const std::string& path, FileOutcome outcome) override {
        static const char* names[] = {"converted", "failed", "stopped", "skipped"};
        Add(std::string("finish ") + names[static_cast<int>(outcome)] + " " + path);
    }
    void BatchEnded() override {
        Add("end");
        std::lock_guard lock(mutex_);
        ended_ = true;
        endedCondition_.notify_all();
    }

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::string> Matching(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& e : Events()) {
            if (e.rfind(prefix, 0) == 0) {
                found.push_back(e);
            }
        }
        return found;
    }
    void WaitForEnd() {
        std::unique_lock lock(mutex_);
        endedCondition_.wait(lock, [this] { return ended_; });
    }
    bool WaitForEnd(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return endedCondition_.wait_for(lock, limit, [this] { return ended_; });
    }

    std::function<void(const std::string&)> hook;

  private:
    void Add(const std::string& event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(event);
        }
        if (hook) {
            hook(event);
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable endedCondition_;
    std::vector<std::string> events_;
    bool ended_ = false;
};

struct Batch {
    ConversionOptions options;
    std::vector<std::string> files;
};

// Runs a batch to its end on a worker thread and waits for it.
void RunBatch(const Batch& batch, Recorder& recorder, TConvertThread** running = nullptr) {
    if (!recorder.Matching("end").empty()) {
        ADD_FAILURE() << "a recorder serves one batch";
    }
    auto* worker = new TConvertThread(true);
    worker->FreeOnTerminate = false;
    worker->FileList = batch.files;
    worker->SetOptions(batch.options);
    worker->SetReporter(&recorder);
    if (running != nullptr) {
        *running = worker;
    }
    worker->Resume();
    if (!recorder.WaitForEnd(std::chrono::seconds(60))) {
        ADD_FAILURE() << "the batch does not end";
        // A worker waiting to open a pipe is let go by a writer.
        for (const std::string& file : batch.files) {
            ::close(::open(file.c_str(), O_WRONLY | O_NONBLOCK));
        }
        recorder.WaitForEnd();
    }
    worker->wait();
    delete worker;
}

ConversionOptions Format(OutputFormat format) {
    ConversionOptions options;
    options.OutputFormat = format;
    return options;
}

const char* LibraryOf(OutputFormat format) {
    switch (format) {
        case OutputFormat::MP3:
            return "lame_enc";
        case OutputFormat::WMA:
            return "wmaudsdk";
        default:
            return "vorbis";
    }
}

std::string Silence(std::size_t bytes) {
    return std::string(bytes, '\0');
}

std::string Wave16(const std::string& pcm, uint16_t channels = 2, uint32_t rate = 44100) {
    WaveLayout layout;
    layout.channels = channels;
    layout.sampleRate = rate;
    layout.data = pcm;
    return WaveBytes(layout);
}

// A mono 8-bit file; declaredDataSize of -1 declares what is there.
std::string Wave8Mono(const std::string& bytes, int64_t declaredDataSize = -1) {
    WaveLayout layout;
    layout.channels = 1;
    layout.bitsPerSample = 8;
    layout.data = bytes;
    layout.declaredDataSize = declaredDataSize;
    return WaveBytes(layout);
}

std::string Widened(const std::string& bytes) {
    std::vector<int16_t> samples;
    for (unsigned char b : bytes) {
        samples.push_back(static_cast<int16_t>(32767 * (b - 128) / 128));
    }
    return Pcm16(samples);
}

}  // namespace

// What reaches the encoder is exactly the data chunk, with the MP3 tail where it is due. The
// doubles hand the samples back as the "encoded" bytes, and end MP3 and Ogg streams with "TAIL".
TEST(Worker, SixteenBitDataReachesEachEncoderUnchanged) {
    struct Case {
        OutputFormat format;
        std::size_t dataBytes;
        bool tail;
    };
    const Case cases[] = {
        {OutputFormat::MP3, 51199, true}, {OutputFormat::MP3, 51200, false},
        {OutputFormat::MP3, 0, true},     {OutputFormat::OGG, 51199, false},
        {OutputFormat::OGG, 0, false},    {OutputFormat::WMA, 40000, false},
        {OutputFormat::WMA, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(LibraryOf(c.format)) + " " + std::to_string(c.dataBytes));
        TempDir dir;
        DoubleLibrary library("complete", LibraryOf(c.format));
        BoxRecorder boxes;
        const std::string pcm = Ramp16(c.dataBytes / 2) + (c.dataBytes % 2 ? "\x01" : "");
        WaveLayout layout;
        layout.data = pcm;
        layout.after = Chunk("LIST", "these bytes are not sound");
        WriteFile(dir.File("a.wav"), WaveBytes(layout));
        Recorder recorder;
        RunBatch({Format(c.format), {dir.File("a.wav")}}, recorder);

        const char* ext = c.format == OutputFormat::MP3   ? ".mp3"
                          : c.format == OutputFormat::WMA ? ".wma"
                                                          : ".ogg";
        std::string expected = pcm.substr(0, pcm.size() & ~std::size_t{1});
        if (c.tail) {
            expected += Silence(2 * kBlock);
        }
        if (c.format != OutputFormat::WMA) {
            expected += "TAIL";
        }
        EXPECT_TRUE(SameBytes(ReadFile(dir.File(std::string("a") + ext)), expected));
        EXPECT_TRUE(boxes.Lines().empty());
        EXPECT_EQ(recorder.Matching("finish"),
                  std::vector<std::string>{"finish converted " + dir.File("a.wav")});
        EXPECT_EQ(recorder.Events().back(), "end");
    }
}

TEST(Worker, EightBitSamplesAreWidened) {
    const std::string bytes = std::string("\x00\x80\xff\x01\x7f", 5);
    EXPECT_EQ(Widened(std::string("\x00\x80\xff", 3)), Pcm16({-32767, 0, 32511}));
    for (OutputFormat format : {OutputFormat::MP3, OutputFormat::WMA, OutputFormat::OGG}) {
        SCOPED_TRACE(LibraryOf(format));
        TempDir dir;
        DoubleLibrary library("complete", LibraryOf(format));
        BoxRecorder boxes;
        WriteFile(dir.File("e.wav"), Wave8Mono(bytes));
        Recorder recorder;
        RunBatch({Format(format), {dir.File("e.wav")}}, recorder);
        const std::string out =
            ReadFile(dir.File(std::string("e") + TargetExtension(static_cast<int>(format))));
        if (format == OutputFormat::MP3) {
            // One whole block, padded with silence, then the two silent tail blocks.
            EXPECT_TRUE(SameBytes(
                out, Widened(bytes) + Silence(kBlock - 10) + Silence(2 * kBlock) + "TAIL"));
        } else if (format == OutputFormat::WMA) {
            EXPECT_TRUE(SameBytes(out, Widened(bytes)));
        } else {
            EXPECT_TRUE(SameBytes(out, Widened(bytes) + "TAIL"));
        }
    }
}

TEST(Worker, FileCutShortInsideItsDataChunk) {
    // 8-bit MP3 pads the block in which the file ends and stops there; the others end with the
    // last byte. A recorder that never fixed its size field declares 0xFFFFFFFF bytes.
    constexpr std::size_t kSamples = kBlock / 2;
    struct Case {
        OutputFormat format;
        std::size_t present;
        int64_t declared;
        std::size_t mp3Blocks;
    };
    const Case cases[] = {
        {OutputFormat::MP3, 3000, 60000, 2},
        {OutputFormat::MP3, 2 * kSamples, 60000, 3},  // the end is seen by the next read
        {OutputFormat::MP3, 11025, 0xFFFFFFFF, 5},    // one second at 11,025 Hz
        {OutputFormat::OGG, 3000, 60000, 0},
        {OutputFormat::OGG, 11025, 0xFFFFFFFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.present) + " of " + std::to_string(c.declared));
        TempDir dir;
        DoubleLibrary library("complete", LibraryOf(c.format));
        BoxRecorder boxes;
        const std::string present(c.present, '\x90');
        WriteFile(dir.File("c.wav"), Wave8Mono(present, c.declared));
        Recorder recorder;
        RunBatch({Format(c.format), {dir.File("c.wav")}}, recorder);
        const std::string out =
            ReadFile(dir.File(std::string("c") + TargetExtension(static_cast<int>(c.format))));
        if (c.format == OutputFormat::MP3) {
            ASSERT_EQ(out.size(), c.mp3Blocks * kBlock + 4);
            EXPECT_EQ(out.substr(0, 2 * c.present), Widened(present));
            EXPECT_EQ(out.substr(2 * c.present, c.mp3Blocks * kBlock - 2 * c.present),
                      Silence(c.mp3Blocks * kBlock - 2 * c.present));
        } else {
            EXPECT_TRUE(SameBytes(out, Widened(present) + "TAIL"));
        }
        EXPECT_EQ(recorder.Matching("finish"),
                  std::vector<std::string>{"finish converted " + dir.File("c.wav")});
    }
}

TEST(Worker, DataSizeOf2GiBOrMoreIsNotTakenAsNegative) {
    TempDir dir;
    DoubleLibrary library("complete", "vorbis");
    BoxRecorder boxes;
    WaveLayout layout;
    layout.data = Ramp16(5000);
    layout.declaredDataSize = 0x80000010u;
    WriteFile(dir.File("big.wav"), WaveBytes(layout));
    Recorder recorder;
    RunBatch({Format(OutputFormat::OGG), {dir.File("big.wav")}}, recorder);
    EXPECT_TRUE(SameBytes(ReadFile(dir.File("big.ogg")), layout.data + "TAIL"));
}

TEST(Worker, OpenArgumentsFollowTheOptions) {
    struct Case {
        uint32_t rate;
        int index;
        uint16_t written;
    };
    for (const Case& c : {Case{22050, 4, 192}, Case{11025, 2, 64}, Case{8000, 6, 64},
                          Case{8000, 0, 32}, Case{11025, 1, 64}, Case{11026, 6, 320}}) {
        TempDir dir;
        DoubleLibrary library("complete", "lame_enc");
        BoxRecorder boxes;
        WriteFile(dir.File("m.wav"), Wave16(Ramp16(10), 1, c.rate));
        ConversionOptions options = Format(OutputFormat::MP3);
        options.Mp3BitrateIndex = c.index;
        options.Mp3Crc = true;
        options.Mp3Private = true;
        Recorder recorder;
        RunBatch({options, {dir.File("m.wav")}}, recorder);
        const unsigned char* r = library.Control().record;
        EXPECT_EQ(r[9] | (r[10] << 8), c.written) << c.rate << " " << c.index;
        EXPECT_EQ(r[8], 3) << "mono";
        uint32_t flags[4];
        std::memcpy(flags, r + 11, 16);
        EXPECT_EQ(std::vector<uint32_t>(flags, flags + 4), (std::vector<uint32_t>{1, 1, 0, 0}));
    }
    // Each level reaches the library as the single-precision value nearest to its tenth.
    const float oggQualities[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
    for (int index = 0; index < 10; ++index) {
        TempDir dir;
        DoubleLibrary library("complete", "vorbis");
        BoxRecorder boxes;
        WriteFile(dir.File("o.wav"), Wave16(Ramp16(10), 1));
        ConversionOptions options = Format(OutputFormat::OGG);
        options.OggQualityIndex = index;
        Recorder recorder;
        RunBatch({options, {dir.File("o.wav")}}, recorder);
        float quality;
        std::memcpy(&quality, library.Control().record + 36, 4);
        EXPECT_EQ(quality, oggQualities[index]) << "index " << index;
        uint32_t channels;
        std::memcpy(&channels, library.Control().record + 12, 4);
        EXPECT_EQ(channels, 1u) << "mono";
    }
    const uint32_t wmaRates[] = {48000, 64000, 80000, 96000, 128000, 160000};
    for (int index = 0; index < 6; ++index) {
        TempDir dir;
        DoubleLibrary library("complete", "wmaudsdk");
        BoxRecorder boxes;
        WriteFile(dir.File("w.wav"), Wave16(Ramp16(10)));
        ConversionOptions options = Format(OutputFormat::WMA);
        options.WmaBitrateIndex = index;
        Recorder recorder;
        RunBatch({options, {dir.File("w.wav")}}, recorder);
        EXPECT_EQ(library.Control().outputFormat[0], wmaRates[index]);
        EXPECT_EQ(+library.Control().input.channels, 2);
    }
}

TEST(Worker, OutputGoesBesideTheSourceOrIntoTheCustomFolder) {
    TempDir dir;
    TempDir out;
    DoubleLibrary library("complete", "wmaudsdk");
    BoxRecorder boxes;
    WriteFile(dir.File("song.wav"), Wave16(Ramp16(10)));
    ConversionOptions options = Format(OutputFormat::WMA);
    Recorder beside;
    RunBatch({options, {dir.File("song.wav")}}, beside);
    EXPECT_TRUE(std::filesystem::exists(dir.File("song.wma")));
    options.CustomDir = true;
    for (const std::string& folder : {out.Path(), out.Path() + "/"}) {
        std::filesystem::remove(out.File("song.wma"));
        options.OutputDir = folder;
        Recorder recorder;
        RunBatch({options, {dir.File("song.wav")}}, recorder);
        EXPECT_TRUE(SameBytes(ReadFile(out.File("song.wma")), Ramp16(10)));
    }
}

// With four files, half-way through the third: the file's bar shows 50 and the batch's 62.
TEST(Worker, ProgressOfFileAndBatch) {
    TempDir dir;
    DoubleLibrary library("complete", "vorbis");
    BoxRecorder boxes;
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(dir.File("p" + std::to_string(i) + ".wav"));
        WriteFile(files.back(), Wave16(Ramp16(kBlock)));  // exactly two blocks
    }
    Recorder recorder;
    RunBatch({Format(OutputFormat::OGG), files}, recorder);
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) {
        expected.push_back("start " + files[static_cast<std::size_t>(i)]);
        expected.push_back("progress 50 " + std::to_string(25 * i + 12));
        expected.push_back("progress 100 " + std::to_string(25 * (i + 1)));
        expected.push_back("finish converted " + files[static_cast<std::size_t>(i)]);
    }
    expected.push_back("end");
    EXPECT_EQ(recorder.Events(), expected);
    EXPECT_EQ(expected[9], "progress 50 62");
}

TEST(Worker, PaddedEightBitMp3BlockShowsAtMost100) {
    TempDir dir;
    DoubleLibrary library("complete", "lame_enc");
    BoxRecorder boxes;
    WriteFile(dir.File("s.wav"), Wave8Mono(std::string(100, '\x80')));
    WriteFile(dir.File("t.wav"), Wave8Mono(std::string(100, '\x80')));
    Recorder recorder;
    RunBatch({Format(OutputFormat::MP3), {dir.File("s.wav"), dir.File("t.wav")}}, recorder);
    EXPECT_EQ(recorder.Matching("progress"),
              (std::vector<std::string>{"progress 100 50", "progress 100 100"}));
}

TEST(Worker, FailuresSkipOnlyTheirFile) {
    TempDir dir;
    DoubleLibrary library("complete", "lame_enc");
    BoxRecorder boxes;
    const std::string good1 = dir.File("good1.wav");
    const std::string missing = dir.File("missing.wav");
    const std::string notWave = dir.File("text.wav");
    const std::string pipe = dir.File("pipe.wav");  // no file, and a writer may never come
    const std::string compressed = dir.File("mulaw.wav");
    const std::string good2 = dir.File("good2.wav");
    WriteFile(good1, Wave16(Ramp16(100)));
    WriteFile(notWave, std::string(100, 'x'));
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    WaveLayout mulaw;
    mulaw.formatTag = 7;
    mulaw.bitsPerSample = 8;
    mulaw.data = std::string(100, '\x10');
    WriteFile(compressed, WaveBytes(mulaw));
    // What the list refuses, and channels that would be garbled into one.
    const std::string deep = dir.File("pcm24.wav");
    WaveLayout pcm24;
    pcm24.bitsPerSample = 24;
    pcm24.data = std::string(600, '\x10');
    WriteFile(deep, WaveBytes(pcm24));
    const std::string surround = dir.File("six.wav");
    WriteFile(surround, Wave16(Ramp16(120), 6));
    WriteFile(good2, Wave16(Ramp16(100)));
    Recorder recorder;
    RunBatch({Format(OutputFormat::MP3),
              {good1, missing, notWave, pipe, compressed, deep, surround, good2}},
             recorder);
    const std::vector<platform::BoxRecord> shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(boxes.Lines()[0], "Error|Could not open '" + missing + "'");
    EXPECT_EQ(boxes.Lines()[1], "Error|This is not a valid Wave file");
    EXPECT_EQ(boxes.Lines()[2], "Error|This is not a valid Wave file") << "a pipe";
    EXPECT_EQ(boxes.Lines()[3], "Error|Can not handle compressed Wave file");
    EXPECT_EQ(shown[4].kind, platform::BoxKind::Plain) << "the list's own refusal";
    EXPECT_EQ(shown[4].text, "Not PCM formats!");
    EXPECT_EQ(boxes.Lines()[5], "Error|Could not convert '" + surround +
                                    "': it has 6 channels; only mono and stereo files can be "
                                    "converted");
    for (const auto& box : shown) {
        EXPECT_EQ(box.style, platform::MbOk);
    }
    EXPECT_EQ(recorder.Matching("finish"),
              (std::vector<std::string>{"finish converted " + good1, "finish failed " + missing,
                                        "finish failed " + notWave, "finish failed " + pipe,
                                        "finish failed " + compressed, "finish failed " + deep,
                                        "finish failed " + surround, "finish converted " + good2}));
    EXPECT_TRUE(std::filesystem::exists(dir.File("good2.mp3")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("text.mp3")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("six.mp3")));
}

// A source whose reading fails part-way (a failing disk, a lost share) fails its file: what was
// read so far must not pass for the whole.
TEST(Worker, ReadErrorFailsTheFile) {
    struct Source {
        std::string bytes;
        std::size_t readable;  // then every read fails with EIO
    };
    const auto read = [](void* cookie, char* into, std::size_t size) -> ssize_t {
        auto* source = static_cast<Source*>(cookie);
        if (source->readable == 0) {
            errno = EIO;
            return -1;
        }
        const std::size_t n = std::min({size, source->readable, source->bytes.size()});
        std::memcpy(into, source->bytes.data(), n);
        source->bytes.erase(0, n);
        source->readable -= n;
        return static_cast<ssize_t>(n);
    };
    const struct {
        OutputFormat format;
        std::string wave;
    } cases[] = {
        {OutputFormat::MP3, Wave16(Ramp16(40000))},
        {OutputFormat::OGG, Wave16(Ramp16(40000))},
        {OutputFormat::MP3, Wave8Mono(std::string(30000, '\x90'))},
    };
    for (const auto& c : cases) {
        TempDir dir;
        DoubleLibrary library("complete", LibraryOf(c.format));
        BoxRecorder boxes;
        Recorder recorder;
        Source source{c.wave, 44 + 10000};
        auto* worker = new TConvertThread(true);
        worker->FreeOnTerminate = false;
        worker->FileList = {dir.File("failing.wav")};
        worker->SetOptions(Format(c.format));
        worker->SetReporter(&recorder);
        worker->SourceOpener = [&](const std::string&) {
            return ::fopencookie(&source, "rb", {read, nullptr, nullptr, nullptr});
        };
        worker->Resume();
        recorder.WaitForEnd();
        delete worker;
        EXPECT_EQ(recorder.Matching("finish"),
                  std::vector<std::string>{"finish failed " + dir.File("failing.wav")});
        ASSERT_FALSE(boxes.Lines().empty());
        EXPECT_EQ(boxes.Lines()[0],
                  "Error|Could not read '" + dir.File("failing.wav") + "': Input/output error");
    }
}

// However the opening fails, the message says the source could not be opened; that the output
// path cannot be compared with it either does not make it the source's own path.
TEST(Worker, SourcesThatCannotBeOpenedAreReportedAsSuch) {
    TempDir dir;
    std::filesystem::create_directory_symlink("loop", dir.File("loop"));
    std::filesystem::create_directory(dir.File("folder.wav"));
    const std::string cases[] = {
        dir.File("missing.wav"),
        dir.File(std::string(300, 'n') + ".wav"),  // a name longer than the system allows
        dir.File("loop/inside.wav"),               // a folder that leads back to itself
        dir.File("folder.wav"),
    };
    for (const std::string& source : cases) {
        SCOPED_TRACE(source);
        DoubleLibrary library("complete", "lame_enc");
        BoxRecorder boxes;
        Recorder recorder;
        RunBatch({Format(OutputFormat::MP3), {source}}, recorder);
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{"Error|Could not open '" + source + "'"});
        EXPECT_EQ(library.Log(), "");
    }
}

TEST(Worker, FailingEncoderCallsEndTheFileNotTheBatch) {
    struct Case {
        OutputFormat format;
        int DoubleControl::*flag;
        int value;
        std::vector<std::string> messages;
        const char* firstOutcome;
    };
    TempDir dir;
    const std::string out = dir.File("a");
    const Case cases[] = {
        {OutputFormat::MP3,
         &DoubleControl::failOpen,
         1,
         {"Lame Encoder|Could not initialize Lame encoder",
          "Lame Encoder|Could not initialize Lame encoder"},
         "failed"},
        {OutputFormat::MP3,
         &DoubleControl::failWriteAt,
         2,
         {"Lame Encoder|Could not perform compression"},
         "failed"},
        {OutputFormat::OGG,
         &DoubleControl::failWriteAt,
         1,
         {"vorbis|Failed to encode the data."},
         "failed"},
        {OutputFormat::OGG,
         &DoubleControl::failClose,
         1,
         {"vorbis|Failed to close the encoder stream.",
          "vorbis|Failed to close the encoder stream."},
         "failed"},
        {OutputFormat::MP3,
         &DoubleControl::failClose,
         1,
         {"Lame Encoder|Can not write the file '" + out + ".mp3'.",
          "Lame Encoder|Can not write the file '" + dir.File("b") + ".mp3'."},
         "failed"},
        {OutputFormat::WMA,
         &DoubleControl::failClose,
         1,
         {"WMA Audio SDK|Can not write the file '" + out + ".wma'.",
          "WMA Audio SDK|Can not write the file '" + dir.File("b") + ".wma'."},
         "failed"},
        {OutputFormat::WMA,
         &DoubleControl::failSetOutput,
         1,
         {"WMA Audio SDK|Failed to Set Output Format", "WMA Audio SDK|Failed to Set Output Format"},
         "failed"},
        {OutputFormat::WMA,
         &DoubleControl::failWriteAt,
         1,
         {"WMA Audio SDK|Can not write the file '" + out + ".wma'."},
         "failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messages.front());
        DoubleLibrary library("complete", LibraryOf(c.format));
        library.Control().*c.flag = c.value;
        BoxRecorder boxes;
        WriteFile(dir.File("a.wav"), Wave16(Ramp16(3 * kBlock)));
        WriteFile(dir.File("b.wav"), Wave16(Ramp16(10)));
        Recorder recorder;
        RunBatch({Format(c.format), {dir.File("a.wav"), dir.File("b.wav")}}, recorder);
        EXPECT_EQ(boxes.Lines(), c.messages);
        const auto finished = recorder.Matching("finish");
        ASSERT_EQ(finished.size(), 2u);
        EXPECT_EQ(finished[0].substr(0, finished[0].find(' ', 7)),
                  std::string("finish ") + c.firstOutcome);
        EXPECT_EQ(recorder.Events().back(), "end");
    }
}

TEST(Worker, MessageBoxesBlockOnlyTheWorker) {
    TempDir dir;
    DoubleLibrary library("complete", "vorbis");
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::vector<std::string> seen;
    auto previous = platform::SetMessageSink([&](const platform::BoxRecord& box) {
        std::unique_lock lock(mutex);
        seen.push_back(box.text);
        released.wait(lock, [&] { return release; });
    });
    WriteFile(dir.File("b.wav"), Wave16(Ramp16(10)));
    Recorder recorder;
    auto* worker = new TConvertThread(true);
    worker->FreeOnTerminate = false;
    worker->FileList = {dir.File("missing.wav"), dir.File("b.wav")};
    worker->SetOptions(Format(OutputFormat::OGG));
    worker->SetReporter(&recorder);
    worker->Resume();
    // The worker waits in its box; nothing of the second file happens until it is dismissed.
    for (int i = 0; i < 200 && !worker->isFinished(); ++i) {
        QThread::msleep(5);
    }
    EXPECT_FALSE(worker->isFinished());
    EXPECT_TRUE(recorder.Matching("finish").empty());
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    recorder.WaitForEnd();
    worker->wait();
    delete worker;
    platform::SetMessageSink(previous);
    EXPECT_EQ(seen, std::vector<std::string>{"Could not open '" + dir.File("missing.wav") + "'"});
    EXPECT_EQ(recorder.Matching("finish").size(), 2u);
}

TEST(Worker, OutputThatWouldOverwriteItsSourceIsSkipped) {
    TempDir dir;
    DoubleLibrary library("complete", "lame_enc");
    BoxRecorder boxes;
    const std::string source = dir.File("already.mp3");
    const std::string bytes = Wave16(Ramp16(100));
    WriteFile(source, bytes);
    Recorder recorder;
    RunBatch({Format(OutputFormat::MP3), {source}}, recorder);
    EXPECT_TRUE(SameBytes(ReadFile(source), bytes));
    EXPECT_EQ(boxes.Lines(), std::vector<std::string>{"Error|Could not convert '" + source +
                                                      "': its output file would overwrite the "
                                                      "source file"});
    EXPECT_EQ(library.Log(), "");
}

// A later source whose output this batch has already written is not converted, however the two
// paths are spelt; the batch goes on.
TEST(Worker, SecondSourceWithTheSameOutputIsNotConverted) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("a"));
    std::filesystem::create_directories(dir.File("b"));
    std::filesystem::create_directories(dir.File("out"));
    std::filesystem::create_directory_symlink(dir.File("a"), dir.File("link"));
    const std::string first = Ramp16(100);
    WriteFile(dir.File("a/x.wav"), Wave16(first));
    WriteFile(dir.File("b/x.wav"), Wave16(Silence(400)));
    WriteFile(dir.File("b/y.wav"), Wave16(Ramp16(10)));
    struct Case {
        bool customDir;
        std::string outputDir;
        std::string second;  // a source whose output is a/x.wav's
        std::string output;  // that output
    };
    const Case cases[] = {
        {true, dir.File("out"), dir.File("b/x.wav"), dir.File("out/x.mp3")},
        {true, dir.File("a/../out/"), dir.File("b/x.wav"), dir.File("out/x.mp3")},
        {false, "", dir.File("a/./x.wav"), dir.File("a/x.mp3")},
        {false, "", dir.File("link/x.wav"), dir.File("a/x.mp3")},
        {false, "", dir.File("a/x.wav"), dir.File("a/x.mp3")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.second + " into '" + c.outputDir + "'");
        std::filesystem::remove(c.output);
        DoubleLibrary library("complete", "lame_enc");
        BoxRecorder boxes;
        ConversionOptions options = Format(OutputFormat::MP3);
        options.CustomDir = c.customDir;
        options.OutputDir = c.outputDir;
        Recorder recorder;
        RunBatch({options, {dir.File("a/x.wav"), c.second, dir.File("b/y.wav")}}, recorder);
        const std::string written =
            OutputPathFor(c.second, c.customDir, c.outputDir, ".mp3", kPosixPaths);
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{"Error|Could not convert '" + c.second +
                                                          "': its output file '" + written +
                                                          "' was already written from '" +
                                                          dir.File("a/x.wav") + "'"});
        EXPECT_TRUE(SameBytes(ReadFile(c.output).substr(0, first.size()), first));
        EXPECT_EQ(recorder.Matching("finish"),
                  (std::vector<std::string>{"finish converted " + dir.File("a/x.wav"),
                                            "finish failed " + c.second,
                                            "finish converted " + dir.File("b/y.wav")}));
    }
}

// A stop request is seen after each block and before each file: the current block is written,
// the file is finished and kept, and no further file starts.
TEST(Worker, StopRequests) {
    struct Case {
        const char* name;
        OutputFormat format;
        std::string stopAt;  // the event after which the stop is requested
        std::vector<std::string> outcomes;
        std::size_t secondFileBlocks;
        std::size_t tailBlocks;  // short MP3 files end with silence, stopped or not
    };
    TempDir dir;
    const std::vector<std::string> files = {dir.File("s0.wav"), dir.File("s1.wav"),
                                            dir.File("s2.wav")};
    const Case cases[] = {
        {"inside_second_file",
         OutputFormat::OGG,
         "progress 25 41",
         {"finish converted " + files[0], "finish stopped " + files[1]},
         1,
         0},
        {"between_files",
         OutputFormat::OGG,
         "finish converted " + files[0],
         {"finish converted " + files[0]},
         0,
         0},
        {"on_last_block",
         OutputFormat::OGG,
         "progress 100 66",
         {"finish converted " + files[0], "finish converted " + files[1]},
         4,
         0},
        {"mp3_tail_still_written",
         OutputFormat::MP3,
         "progress 25 41",
         {"finish converted " + files[0], "finish stopped " + files[1]},
         1,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DoubleLibrary library("complete", LibraryOf(c.format));
        BoxRecorder boxes;
        for (const auto& file : files) {
            WriteFile(file, Wave16(Ramp16(2 * kBlock)));  // four blocks
            std::filesystem::remove(dir.File("s1.ogg"));
            std::filesystem::remove(dir.File("s1.mp3"));
        }
        Recorder recorder;
        TConvertThread* worker = nullptr;
        recorder.hook = [&](const std::string& event) {
            if (event == c.stopAt) {
                worker->Terminate();
            }
        };
        RunBatch({Format(c.format), files}, recorder, &worker);
        EXPECT_EQ(recorder.Matching("finish"), c.outcomes);
        EXPECT_EQ(recorder.Matching("start").size(), c.outcomes.size());
        EXPECT_EQ(recorder.Events().back(), "end");
        const std::string second =
            dir.File(std::string("s1") + TargetExtension(static_cast<int>(c.format)));
        if (c.secondFileBlocks == 0) {
            EXPECT_FALSE(std::filesystem::exists(second));
        } else {
            const std::string expected = Ramp16(2 * kBlock).substr(0, c.secondFileBlocks * kBlock) +
                                         Silence(c.tailBlocks * kBlock) + "TAIL";
            EXPECT_TRUE(SameBytes(ReadFile(second), expected));
        }
        EXPECT_FALSE(std::filesystem::exists(dir.File("s2.ogg")));
    }
}

TEST(Worker, StopFromAnotherThreadEndsTheBatchOnce) {
    TempDir dir;
    DoubleLibrary library("complete", "vorbis");
    BoxRecorder boxes;
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(dir.File("t" + std::to_string(i) + ".wav"));
        WriteFile(files.back(), Wave16(Ramp16(200 * kBlock)));
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool secondStarted = false;
    bool stopAsked = false;
    Recorder recorder;
    // The worker waits at the start of the second file until the other thread has asked it to
    // stop, so that the request lands inside that file however the threads are scheduled.
    recorder.hook = [&](const std::string& event) {
        if (event == "start " + files[1]) {
            std::unique_lock lock(mutex);
            secondStarted = true;
            changed.notify_all();
            changed.wait(lock, [&] { return stopAsked; });
        }
    };
    auto* worker = new TConvertThread(true);
    worker->FreeOnTerminate = false;
    worker->FileList = files;
    worker->SetOptions(Format(OutputFormat::OGG));
    worker->SetReporter(&recorder);
    worker->Resume();
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return secondStarted; });
        worker->Terminate();
        stopAsked = true;
    }
    changed.notify_all();
    recorder.WaitForEnd();
    worker->wait();
    delete worker;
    EXPECT_EQ(recorder.Matching("end").size(), 1u);
    EXPECT_EQ(recorder.Matching("start").size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(dir.File("t1.ogg")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("t2.ogg")));
}

// A cancelled batch still ends later; its end reaches its own reporter, never a newer batch's.
TEST(Worker, LateEndOfACancelledBatchReachesOnlyItsOwnReporter) {
    TempDir dir;
    DoubleLibrary library("complete", "vorbis");
    BoxRecorder boxes;
    WriteFile(dir.File("l.wav"), Wave16(Ramp16(50 * kBlock)));
    Recorder first;
    Recorder second;
    auto* old = new TConvertThread(true);
    old->FreeOnTerminate = false;
    old->FileList = {dir.File("l.wav"), dir.File("l.wav")};
    old->SetOptions(Format(OutputFormat::OGG));
    old->SetReporter(&first);
    old->Resume();
    old->Terminate();
    auto* fresh = new TConvertThread(true);
    fresh->FreeOnTerminate = false;
    fresh->FileList = {dir.File("l.wav")};
    fresh->SetOptions(Format(OutputFormat::WMA));
    fresh->SetReporter(&second);
    fresh->Resume();
    first.WaitForEnd();
    second.WaitForEnd();
    old->wait();
    fresh->wait();
    delete old;
    delete fresh;
    EXPECT_EQ(first.Matching("end").size(), 1u);
    EXPECT_EQ(second.Matching("end").size(), 1u);
    EXPECT_EQ(second.Matching("start").size(), 1u);
}

TEST(Worker, ReleasesItselfWhenItsBatchEnds) {
    Recorder recorder;
    QPointer<TConvertThread> worker = new TConvertThread(true);
    worker->SetReporter(&recorder);
    worker->Resume();
    recorder.WaitForEnd();
    for (int i = 0; i < 500 && !worker.isNull(); ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(2);
    }
    EXPECT_TRUE(worker.isNull());
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{"end"});
}
