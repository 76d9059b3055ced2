// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "BoxRecorder.h"
#include "DoubleLibrary.h"
#include "ProgramDir.h"
#include "WaveWriter.h"
#include "Wavtomp3.h"
#include "Wavtoogg.h"
#include "Wavtowma.h"

using namespace testing_support;

namespace {

uint32_t Word(const unsigned char* record, std::size_t offset) {
    uint32_t value;
    std::memcpy(&value, record + offset, 4);
    return value;
}

float Float(const unsigned char* record, std::size_t offset) {
    float value;
    std::memcpy(&value, record + offset, 4);
    return value;
}

std::vector<std::string> Lines(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(log.substr(start, end - start));
    }
    return lines;
}

}  // namespace

// --- Loading -------------------------------------------------------------------------------------

struct LoadCase {
    const char* variant;
    const char* library;
    const char* message;  // caption|text
};

class LoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, FirstMissingPieceGivesOneMessageAndNoCalls) {
    const LoadCase& c = GetParam();
    DoubleLibrary library(c.variant, c.library);
    BoxRecorder boxes;
    const std::string name = c.library;
    if (name == "lame_enc") {
        WavToMp3 mp3;
        EXPECT_EQ(mp3.GetVersion(), "");
        EXPECT_EQ(mp3.Open("/nonexistent/x.mp3", 44100, 1, 128, false, false, false, false), -1);
    } else if (name == "vorbis") {
        WavToOgg ogg;
        EXPECT_EQ(ogg.GetVersion(), "");
        EXPECT_EQ(ogg.Open("/nonexistent/x.ogg", 44100, 2, 0.4f), -1);
    } else {
        WavToWma wma;
        EXPECT_EQ(wma.Open("/nonexistent/x.wma", 44100, 2, 96000), -1);
        EXPECT_TRUE(wma.Close());
    }
    EXPECT_EQ(boxes.Lines(), std::vector<std::string>{c.message});
    EXPECT_EQ(library.Log(), "") << "a back-end that did not load must never call its library";
}

INSTANTIATE_TEST_SUITE_P(
    EntryPoints, LoadTest,
    ::testing::Values(
        LoadCase{"no_beInitStream", "lame_enc",
                 "Lame Encoder|Could not found beInitStream library function"},
        LoadCase{"no_beEncodeChunk", "lame_enc",
                 "Lame Encoder|Could not found beEncodeChunk library function"},
        LoadCase{"no_beVersion", "lame_enc",
                 "Lame Encoder|Could not found beVersion library function"},
        LoadCase{"no_beDeinitStream", "lame_enc",
                 "Lame Encoder|Could not found beDeinitStream library function"},
        LoadCase{"no_beCloseStream", "lame_enc",
                 "Lame Encoder|Could not found beCloseStream library function"},
        LoadCase{"no_vbVersion", "vorbis", "vorbis|Could not found vbVersion library function"},
        LoadCase{"no_vbEncOpen", "vorbis", "vorbis|Could not found vbEncOpen library function"},
        LoadCase{"no_vbEncWrite", "vorbis", "vorbis|Could not found vbEncWrite library function"},
        LoadCase{"no_vbEncClose", "vorbis", "vorbis|Could not found vbEncClose library function"},
        LoadCase{"no_WMAudioCreateWriter", "wmaudsdk",
                 "WMA Audio SDK|Could not found WMAudioCreateWriter library function"}),
    [](const auto& p) { return std::string(p.param.variant); });

TEST(Loading, MissingLibrariesNameTheirPlatformFiles) {
    TempDir empty;
    platform::SetProgramDirForTesting(empty.Path());
    BoxRecorder boxes;
    {
        WavToMp3 mp3;
        WavToOgg ogg;
        WavToWma wma;
    }
    platform::SetProgramDirForTesting("");
    EXPECT_EQ(boxes.Lines(),
              (std::vector<std::string>{"Lame Encoder|Could not load lame_enc.so file",
                                        "vorbis|Could not load vorbis.so file",
                                        "WMA Audio SDK|Could not load wmaudsdk.so file"}));
}

// --- MP3
// -------------------------------------------------------------------------------------------

TEST(Mp3, BitrateSnapping) {
    const std::pair<uint32_t, uint16_t> cases[] = {
        {0, 32},    {32, 32},   {36, 32},   {37, 40},   {44, 40},   {52, 48},   {60, 56},
        {64, 64},   {67, 64},   {68, 80},   {88, 80},   {96, 96},   {104, 96},  {120, 112},
        {128, 128}, {144, 128}, {176, 160}, {192, 192}, {208, 192}, {240, 224}, {256, 256},
        {288, 256}, {289, 320}, {320, 320}, {1000, 320}};
    for (const auto& [requested, written] : cases) {
        EXPECT_EQ(WavToMp3::SnapBitrate(requested), written) << requested;
    }
}

TEST(Mp3, ConfigurationRecordByteForByte) {
    struct Case {
        int selector;
        uint32_t rate;
        uint32_t bitrate;
        bool copyright, crc, original, priv;
        uint8_t mode;
        uint16_t written;
    };
    const Case cases[] = {
        {1, 44100, 128, false, false, false, false, 0, 128},
        {4, 8000, 67, true, false, false, false, 3, 64},
        {2, 22050, 192, false, true, false, false, 1, 192},
        {3, 12345, 1000, false, false, true, false, 2, 320},
        {1, 48000, 0, false, false, false, true, 0, 32},
    };
    TempDir dir;
    for (const Case& c : cases) {
        DoubleLibrary library("complete", "lame_enc");
        BoxRecorder boxes;
        WavToMp3 mp3;
        ASSERT_EQ(mp3.Open(dir.File("x.mp3"), c.rate, c.selector, c.bitrate, c.copyright, c.crc,
                           c.original, c.priv),
                  2304 * 2);
        const unsigned char* r = library.Control().record;
        EXPECT_EQ(Word(r, 0), 0u);
        EXPECT_EQ(Word(r, 4), c.rate);
        EXPECT_EQ(r[8], c.mode);
        EXPECT_EQ(r[9] | (r[10] << 8), c.written);
        EXPECT_EQ(Word(r, 11), c.priv ? 1u : 0u);
        EXPECT_EQ(Word(r, 15), c.crc ? 1u : 0u);
        EXPECT_EQ(Word(r, 19), c.copyright ? 1u : 0u);
        EXPECT_EQ(Word(r, 23), c.original ? 1u : 0u);
        mp3.Close();
        EXPECT_TRUE(boxes.Lines().empty());
    }
}

TEST(Mp3, WriteCloseAndVersion) {
    TempDir dir;
    DoubleLibrary library("complete", "lame_enc");
    library.Control().engineMajor = 3;
    library.Control().engineMinor = 5;
    BoxRecorder boxes;
    const std::string path = dir.File("out.mp3");
    const std::string pcm = Ramp16(2400);
    {
        WavToMp3 mp3;
        EXPECT_EQ(mp3.GetVersion(), "lame-enc 3.5");
        ASSERT_EQ(mp3.Open(path, 44100, 1, 128, false, false, false, false), 4608);
        EXPECT_EQ(mp3.Write(pcm.data(), 4607), 4606);  // an odd count drops its last byte
        library.Control().discard = 1;
        EXPECT_EQ(mp3.Write(pcm.data(), 64), 0);  // nothing delivered is still a success
        mp3.Close();
    }
    EXPECT_TRUE(SameBytes(ReadFile(path), pcm.substr(0, 4606) + "TAIL"));
    EXPECT_EQ(Lines(library.Log()),
              (std::vector<std::string>{"beVersion", "beInitStream", "beEncodeChunk 2303",
                                        "beEncodeChunk 32", "beDeinitStream", "beCloseStream"}));
    EXPECT_TRUE(boxes.Lines().empty());
}

TEST(Mp3, FailuresAndTheirMessages) {
    TempDir dir;
    {
        DoubleLibrary library("complete", "lame_enc");
        library.Control().failOpen = 1;
        BoxRecorder boxes;
        WavToMp3 mp3;
        EXPECT_EQ(mp3.Open(dir.File("a.mp3"), 44100, 1, 128, false, false, false, false), -1);
        EXPECT_FALSE(std::filesystem::exists(dir.File("a.mp3")));
        EXPECT_EQ(boxes.Lines(),
                  std::vector<std::string>{"Lame Encoder|Could not initialize Lame encoder"});
    }
    {
        DoubleLibrary library("complete", "lame_enc");
        BoxRecorder boxes;
        WavToMp3 mp3;
        EXPECT_EQ(mp3.Open(dir.File("missing/a.mp3"), 44100, 1, 128, false, false, false, false),
                  -1);
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{"Lame Encoder|Can not create the file."});
        EXPECT_EQ(Lines(library.Log()), std::vector<std::string>{"beInitStream"});
    }
    {
        DoubleLibrary library("complete", "lame_enc");
        library.Control().failWriteAt = 2;
        BoxRecorder boxes;
        const std::string pcm = Ramp16(100);
        {
            WavToMp3 mp3;
            ASSERT_GT(mp3.Open(dir.File("b.mp3"), 44100, 1, 128, false, false, false, false), 0);
            EXPECT_EQ(mp3.Write(pcm.data(), 100), 100);
            EXPECT_EQ(mp3.Write(pcm.data(), 100), -1);
            mp3.Close();
        }
        EXPECT_EQ(boxes.Lines(),
                  std::vector<std::string>{"Lame Encoder|Could not perform compression"});
        EXPECT_TRUE(SameBytes(ReadFile(dir.File("b.mp3")), pcm.substr(0, 100) + "TAIL"));
    }
    {
        // A failing final flush is not reported and writes nothing.
        DoubleLibrary library("complete", "lame_enc");
        library.Control().failClose = 1;
        BoxRecorder boxes;
        {
            WavToMp3 mp3;
            ASSERT_GT(mp3.Open(dir.File("c.mp3"), 44100, 1, 128, false, false, false, false), 0);
            mp3.Close();
        }
        EXPECT_TRUE(boxes.Lines().empty());
        EXPECT_TRUE(SameBytes(ReadFile(dir.File("c.mp3")), ""));
        EXPECT_EQ(Lines(library.Log()).back(), "beCloseStream");
    }
}

// A full disk is the common case of an output file that refuses bytes.
TEST(Mp3AndOgg, RefusedOutputWritesAreFailures) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    const std::string pcm = Ramp16(4096);
    {
        DoubleLibrary library("complete", "lame_enc");
        BoxRecorder boxes;
        WavToMp3 mp3;
        ASSERT_GT(mp3.Open("/dev/full", 44100, 1, 128, false, false, false, false), 0);
        int result = 0;
        for (int i = 0; i < 8 && result != -1; ++i) {
            result = mp3.Write(pcm.data(), 4608);
        }
        mp3.Close();
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(mp3.FileFailed());
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{"Lame Encoder|Can not write the file."});
    }
    {
        DoubleLibrary library("complete", "vorbis");
        BoxRecorder boxes;
        WavToOgg ogg;
        ASSERT_GT(ogg.Open("/dev/full", 44100, 2, 0.4f), 0);
        bool ok = true;
        for (int i = 0; i < 8 && ok; ++i) {
            ok = ogg.Write(pcm.data(), 4608);
        }
        ogg.Close();
        EXPECT_TRUE(ogg.FileFailed());
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{"vorbis|Can not write the file."});
    }
}

// --- Ogg
// -------------------------------------------------------------------------------------------

TEST(Ogg, RecordsByteForByte) {
    TempDir dir;
    const std::pair<int, float> qualities[] = {{1, 0.4f}, {2, 1.0f}, {1, 0.1f}};
    for (const auto& [channels, quality] : qualities) {
        DoubleLibrary library("complete", "vorbis");
        BoxRecorder boxes;
        WavToOgg ogg;
        ASSERT_EQ(ogg.Open(dir.File("x.ogg"), 22050, static_cast<uint32_t>(channels), quality),
                  4608);
        const unsigned char* s = library.Control().record;
        EXPECT_EQ(Word(s, 0), 1024u);
        EXPECT_EQ(Word(s, 4), 0u);
        EXPECT_EQ(Word(s, 8), 260u);
        EXPECT_EQ(Word(s, 12), static_cast<uint32_t>(channels));
        EXPECT_EQ(Word(s, 16), 22050u);
        EXPECT_EQ(Word(s, 20) | Word(s, 24) | Word(s, 28), 0u);
        EXPECT_EQ(Word(s, 32), 300u);
        EXPECT_FLOAT_EQ(Float(s, 36), quality);
        for (std::size_t offset = 40; offset < 260; offset += 4) {
            EXPECT_EQ(Word(s, offset), 0u) << offset;
        }
        const unsigned char* info = library.Control().info;
        EXPECT_EQ(Word(info, 0), sizeof(VorbisStreamInfo));
        EXPECT_EQ(Word(info, 4), 1u);
        EXPECT_EQ(Word(info, 8), 1u);
        EXPECT_EQ(Word(info, 12), 44u);
        EXPECT_EQ(Word(info, 16), 1u);
        EXPECT_STREQ(library.Control().texts[0], "Title Unknown");
        EXPECT_STREQ(library.Control().texts[1], "Artist Unknown");
        EXPECT_STREQ(library.Control().texts[2], "Album Unknown");
        EXPECT_STREQ(library.Control().texts[3], "Encoded with Vorbis DLL example");
        ogg.Close();
    }
}

TEST(Ogg, WriteCloseFailuresAndVersion) {
    TempDir dir;
    const std::string pcm = Ramp16(300);
    {
        DoubleLibrary library("complete", "vorbis");
        library.Control().engineMajor = 1;
        library.Control().engineMinor = 0;
        library.Control().failWriteAt = 2;
        library.Control().failClose = 1;
        BoxRecorder boxes;
        {
            WavToOgg ogg;
            EXPECT_EQ(ogg.GetVersion(), "Vorbis DLL 1.0");
            ASSERT_GT(ogg.Open(dir.File("a.ogg"), 44100, 2, 0.4f), 0);
            EXPECT_TRUE(ogg.Write(pcm.data(), 600));
            EXPECT_FALSE(ogg.Write(pcm.data(), 600));
            ogg.Close();
        }
        EXPECT_EQ(boxes.Lines(),
                  (std::vector<std::string>{"vorbis|Failed to encode the data.",
                                            "vorbis|Failed to close the encoder stream."}));
        EXPECT_TRUE(SameBytes(ReadFile(dir.File("a.ogg")), pcm));
    }
    {
        DoubleLibrary library("complete", "vorbis");
        library.Control().failOpen = 1;
        BoxRecorder boxes;
        WavToOgg ogg;
        EXPECT_EQ(ogg.Open(dir.File("b.ogg"), 44100, 2, 0.4f), -1);
        EXPECT_FALSE(std::filesystem::exists(dir.File("b.ogg")));
        EXPECT_EQ(boxes.Lines(),
                  std::vector<std::string>{"vorbis|Failed to open the encoding stream."});
    }
    {
        DoubleLibrary library("complete", "vorbis");
        BoxRecorder boxes;
        WavToOgg ogg;
        EXPECT_EQ(ogg.Open(dir.File("no/b.ogg"), 44100, 2, 0.4f), -1);
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{"vorbis|Can not create the file."});
    }
}

// --- WMA
// -------------------------------------------------------------------------------------------

TEST(Wma, InputFormatAndOutputRequest) {
    struct Case {
        uint32_t rate;
        uint16_t channels;
        uint16_t align;
        uint32_t bytesPerSecond;
    };
    TempDir dir;
    for (const Case& c : {Case{22050, 1, 2, 44100}, Case{44100, 2, 4, 176400}}) {
        DoubleLibrary library("complete", "wmaudsdk");
        BoxRecorder boxes;
        WavToWma wma;
        ASSERT_EQ(wma.Open(dir.File("x.wma"), c.rate, c.channels, 64000), 16384);
        const WmaWaveFormat& in = library.Control().input;
        EXPECT_EQ(+in.formatTag, 1);
        EXPECT_EQ(+in.channels, c.channels);
        EXPECT_EQ(+in.samplesPerSec, c.rate);
        EXPECT_EQ(+in.bitsPerSample, 16);
        EXPECT_EQ(+in.blockAlign, c.align);
        EXPECT_EQ(+in.avgBytesPerSec, c.bytesPerSecond);
        EXPECT_EQ(+in.extraSize, 0);
        const uint32_t* out = library.Control().outputFormat;
        EXPECT_EQ(std::vector<uint32_t>(out, out + 4), (std::vector<uint32_t>{64000, 44100, 2, 0}));
        EXPECT_TRUE(wma.Close());
        EXPECT_TRUE(wma.Close());  // nothing held any more
    }
}

TEST(Wma, CallOrderAndFailures) {
    TempDir dir;
    const std::string pcm = Ramp16(100);
    {
        DoubleLibrary library("complete", "wmaudsdk");
        BoxRecorder boxes;
        {
            WavToWma wma;
            ASSERT_EQ(wma.Open(dir.File("a.wma"), 44100, 2, 96000), 16384);
            EXPECT_TRUE(wma.Write(pcm.data(), 0));
            EXPECT_TRUE(wma.Write(pcm.data(), 200));
            EXPECT_TRUE(wma.Close());
        }
        EXPECT_EQ(
            Lines(library.Log()),
            (std::vector<std::string>{"WMAudioCreateWriter " + dir.File("a.wma"), "SetInputFormat",
                                      "SetOutputFormat", "Write 200", "Finish", "Release"}));
        EXPECT_TRUE(boxes.Lines().empty());
    }
    struct Failure {
        int DoubleControl::*flag;
        const char* message;
        std::vector<std::string> log;
    };
    const Failure failures[] = {
        {&DoubleControl::failOpen, "WMA Audio SDK|Failed to Create Audio Writer", {"create"}},
        {&DoubleControl::failSetInput,
         "WMA Audio SDK|Failed to Set Input Format",
         {"create", "SetInputFormat", "Release"}},
        {&DoubleControl::failSetOutput,
         "WMA Audio SDK|Failed to Set Output Format",
         {"create", "SetInputFormat", "SetOutputFormat", "Release"}},
    };
    for (const Failure& f : failures) {
        DoubleLibrary library("complete", "wmaudsdk");
        library.Control().*f.flag = 1;
        BoxRecorder boxes;
        {
            WavToWma wma;
            EXPECT_EQ(wma.Open(dir.File("b.wma"), 44100, 2, 96000), -1);
        }
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{f.message});
        auto log = Lines(library.Log());
        log[0] = "create";
        EXPECT_EQ(log, f.log);
    }
    {
        // A writer that cannot finish is kept, finished again and released at destruction.
        DoubleLibrary library("complete", "wmaudsdk");
        library.Control().failWriteAt = 1;
        library.Control().failClose = 1;
        BoxRecorder boxes;
        {
            WavToWma wma;
            ASSERT_EQ(wma.Open(dir.File("c.wma"), 44100, 2, 96000), 16384);
            EXPECT_FALSE(wma.Write(pcm.data(), 200));
            EXPECT_FALSE(wma.Close());
        }
        const auto log = Lines(library.Log());
        EXPECT_EQ(std::vector<std::string>(log.begin() + 3, log.end()),
                  (std::vector<std::string>{"Write 200", "Finish", "Finish", "Release"}));
        EXPECT_TRUE(boxes.Lines().empty());
    }
}

// --- Messages ------------------------------------------------------------------------------------

// A conversion hands its back-ends its own target; a box that slips to the process's sink would
// reach the wrong front end.
TEST(Messages, BoxesGoToTheGivenTargetOnly) {
    struct Target final : platform::MessageTarget {
        std::vector<std::string> lines;
        void Show(const platform::BoxRecord& box) override {
            lines.push_back(box.caption + "|" + box.text);
        }
    };
    struct Case {
        const char* variant;
        const char* library;
        int DoubleControl::*flag;
        const char* file;
        const char* message;
    };
    const Case cases[] = {
        {"no_beVersion", "lame_enc", nullptr, "a.mp3",
         "Lame Encoder|Could not found beVersion library function"},
        {"complete", "lame_enc", &DoubleControl::failOpen, "a.mp3",
         "Lame Encoder|Could not initialize Lame encoder"},
        {"complete", "vorbis", nullptr, "no/a.ogg", "vorbis|Can not create the file."},
        {"complete", "wmaudsdk", &DoubleControl::failOpen, "a.wma",
         "WMA Audio SDK|Failed to Create Audio Writer"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        DoubleLibrary library(c.variant, c.library);
        if (c.flag != nullptr) {
            library.Control().*c.flag = 1;
        }
        BoxRecorder process;
        Target given;
        const std::string name = c.library, path = dir.File(c.file);
        if (name == "lame_enc") {
            EXPECT_EQ(WavToMp3(given).Open(path, 44100, 1, 128, false, false, false, false), -1);
        } else if (name == "vorbis") {
            EXPECT_EQ(WavToOgg(given).Open(path, 44100, 2, 0.4f), -1);
        } else {
            EXPECT_EQ(WavToWma(given).Open(path, 44100, 2, 96000), -1);
        }
        EXPECT_EQ(given.lines, std::vector<std::string>{c.message}) << c.variant << " " << name;
        EXPECT_TRUE(process.Lines().empty()) << c.variant << " " << name;
    }
}
