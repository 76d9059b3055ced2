// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <tuple>

#include "BoxRecorder.h"
#include "WaveWriter.h"
#include "Waveinf.h"

using namespace testing_support;

namespace {

constexpr const char* kProbeInvalid = "ERROR|This is not a valid Wave file.";
constexpr const char* kReaderInvalid = "Error|This is not a valid Wave file";
constexpr const char* kCompressed = "Error|Can not handle compressed Wave file";

WaveLayout Canonical() {
    WaveLayout layout;
    layout.data = Ramp16(400);
    return layout;
}

struct LayoutCase {
    const char* name;
    std::function<std::string()> bytes;
    bool probeAccepts;
    const char* probeMessage;  // caption|text, or empty
    bool readerAccepts;
    const char* readerMessage;
    uint32_t dataSize;  // expected on success
};

std::string With(const std::function<void(WaveLayout&)>& change) {
    WaveLayout layout = Canonical();
    change(layout);
    return WaveBytes(layout);
}

const LayoutCase kLayouts[] = {
    {"canonical", [] { return With([](WaveLayout&) {}); }, true, "", true, "", 800},
    {"eight_bit",
     [] {
         return With([](WaveLayout& s) {
             s.bitsPerSample = 8;
             s.channels = 1;
             s.data = std::string(300, '\x80');
         });
     },
     true, "", true, "", 300},
    {"fmt_18", [] { return With([](WaveLayout& s) { s.fmtSize = 18; }); }, true, "", true, "", 800},
    {"fmt_40", [] { return With([](WaveLayout& s) { s.fmtSize = 40; }); }, true, "", true, "", 800},
    {"fmt_14_read_as_16",
     [] {
         // A declared size below 16 still reads 16 bytes and skips nothing.
         std::string bytes = WaveBytes(Canonical());
         bytes.replace(16, 4, Le32(14));
         return bytes;
     },
     true, "", true, "", 800},
    {"list_and_fact_before_data",
     [] {
         return With([](WaveLayout& s) {
             s.chunksBefore = {Chunk("LIST", std::string(26, 'x')), Chunk("fact", Le32(400))};
         });
     },
     true, "", true, "", 800},
    {"odd_chunk_without_pad",
     [] { return With([](WaveLayout& s) { s.chunksBefore = {Chunk("odd ", "abc")}; }); }, true, "",
     true, "", 800},
    {"junk_before_fmt",
     [] {
         return With([](WaveLayout& s) { s.firstChunk = Chunk("JUNK", std::string(28, '\0')); });
     },
     false, kProbeInvalid, false, kReaderInvalid, 0},
    {"mu_law",
     [] {
         return With([](WaveLayout& s) {
             s.formatTag = 7;
             s.bitsPerSample = 8;
             s.channels = 1;
         });
     },
     true, "", false, kCompressed, 800},
    {"twenty_four_bit", [] { return With([](WaveLayout& s) { s.bitsPerSample = 24; }); }, false,
     "Sonvert|Not PCM formats!", true, "", 800},
    {"no_data_chunk",
     [] {
         std::string bytes = WaveBytes(Canonical());
         return bytes.substr(0, 36) + Chunk("LIST", "abcd");
     },
     false, kProbeInvalid, false, kReaderInvalid, 0},
    {"chunk_size_past_the_end",
     [] {
         return With([](WaveLayout& s) { s.chunksBefore = {"LIST" + Le32(0xFFFFFFF0u) + "ab"}; });
     },
     false, kProbeInvalid, false, kReaderInvalid, 0},
    {"wrong_case_data_id",
     [] {
         std::string bytes = WaveBytes(Canonical());
         bytes.replace(36, 4, "DATA");
         return bytes;
     },
     false, kProbeInvalid, false, kReaderInvalid, 0},
    {"bytes_after_data",
     [] { return With([](WaveLayout& s) { s.after = Chunk("LIST", "trailing"); }); }, true, "",
     true, "", 800},
    {"empty_data", [] { return With([](WaveLayout& s) { s.data.clear(); }); }, true, "", true, "",
     0},
};

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

std::string FirstLine(const BoxRecorder& boxes) {
    const auto lines = boxes.Lines();
    return lines.empty() ? "" : lines.front();
}

}  // namespace

TEST_P(LayoutTest, ProbeAndReaderAgreeOnLayoutRules) {
    const LayoutCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("in.wav");
    WriteFile(path, c.bytes());

    {
        BoxRecorder boxes;
        WaveInfo info;
        EXPECT_EQ(GetWaveInfo(path, info), c.probeAccepts);
        std::string message = FirstLine(boxes);
        // The plain dialog's caption is the application title, whatever the test binary is called.
        if (!boxes.Boxes().empty() && boxes.Boxes()[0].kind == platform::BoxKind::Plain) {
            message = "Sonvert|" + boxes.Boxes()[0].text;
        }
        EXPECT_EQ(message, c.probeMessage);
        EXPECT_LE(boxes.Boxes().size(), 1u);
        if (c.probeAccepts) {
            EXPECT_EQ(info.DataSize, c.dataSize);
            EXPECT_EQ(info.FileSize, c.dataSize + 44);
        }
    }
    {
        BoxRecorder boxes;
        std::FILE* stream = std::fopen(path.c_str(), "rb");
        ASSERT_NE(stream, nullptr);
        const auto format = ReadWaveHeader(stream);
        EXPECT_EQ(format.has_value(), c.readerAccepts);
        EXPECT_EQ(FirstLine(boxes), c.readerMessage);
        if (format) {
            EXPECT_EQ(format->DataSize, c.dataSize);
            // The stream stands at the first sample byte.
            const std::string bytes = ReadFile(path);
            const long offset = std::ftell(stream);
            ASSERT_GE(offset, 8);
            EXPECT_EQ(bytes.substr(static_cast<std::size_t>(offset) - 8, 4), "data");
        }
        std::fclose(stream);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WaveInfo, ReportsTheFactsOfTheHeader) {
    TempDir dir;
    WaveLayout layout;
    layout.data = std::string(1764000, '\0');
    WriteFile(dir.File("ten.wav"), WaveBytes(layout));
    BoxRecorder boxes;
    WaveInfo info;
    ASSERT_TRUE(GetWaveInfo(dir.File("ten.wav"), info));
    EXPECT_EQ(info.Channels, 2u);
    EXPECT_EQ(info.SampleRate, 44100u);
    EXPECT_EQ(info.BitsPerSample, 16u);
    EXPECT_EQ(info.Seconds, 10u);
    EXPECT_EQ(info.FileSize, 1764044u);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(WaveInfo, ZeroByteRateGivesZeroSeconds) {
    TempDir dir;
    for (const auto& change : std::vector<std::function<void(WaveLayout&)>>{
             [](WaveLayout& s) { s.sampleRate = 0; }, [](WaveLayout& s) { s.channels = 0; }}) {
        WaveLayout layout = Canonical();
        change(layout);
        WriteFile(dir.File("zero.wav"), WaveBytes(layout));
        BoxRecorder boxes;
        WaveInfo info;
        EXPECT_TRUE(GetWaveInfo(dir.File("zero.wav"), info));
        EXPECT_EQ(info.Seconds, 0u);
    }
}

TEST(WaveInfo, NotPcmStillFillsTheFacts) {
    TempDir dir;
    WaveLayout layout = Canonical();
    layout.bitsPerSample = 24;
    WriteFile(dir.File("24.wav"), WaveBytes(layout));
    BoxRecorder boxes;
    WaveInfo info;
    EXPECT_FALSE(GetWaveInfo(dir.File("24.wav"), info));
    EXPECT_EQ(info.BitsPerSample, 24u);
    EXPECT_EQ(info.DataSize, 800u);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].kind, platform::BoxKind::Plain);
}

// A pipe is refused without waiting for a writer; the probe runs on another thread so that one
// that waits fails the test instead of hanging it.
TEST(WaveInfo, MissingFileFolderAndPipeAreRefused) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::tuple<std::string, platform::BoxKind, const char*> cases[] = {
        {dir.File("absent.wav"), platform::BoxKind::Plain, "Cannot open the file!"},
        {dir.Path(), platform::BoxKind::Plain, "Cannot open the file!"},
        {fifo, platform::BoxKind::Application, "This is not a valid Wave file."},
    };
    for (const auto& [path, kind, text] : cases) {
        BoxRecorder boxes;
        WaveInfo info;
        auto probe = std::async(std::launch::async, [&] { return GetWaveInfo(path, info); });
        if (probe.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the probe waits on " << path;
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_FALSE(probe.get()) << path;
        ASSERT_EQ(boxes.Boxes().size(), 1u) << path;
        EXPECT_EQ(boxes.Boxes()[0].kind, kind) << path;
        EXPECT_EQ(boxes.Boxes()[0].text, text) << path;
    }
}

TEST(WaveInfo, TruncatedHeaderAtEveryOffsetIsNotValidAndLeavesNoOldValues) {
    TempDir dir;
    const std::string full = WaveBytes(Canonical());
    const std::string path = dir.File("cut.wav");
    // Every cut before the data chunk's header is complete; each follows a successful probe so
    // left-over values would show.
    for (std::size_t length = 0; length < 44; ++length) {
        WriteFile(dir.File("good.wav"), full);
        WaveInfo info;
        BoxRecorder boxes;
        ASSERT_TRUE(GetWaveInfo(dir.File("good.wav"), info));
        WriteFile(path, full.substr(0, length));
        EXPECT_FALSE(GetWaveInfo(path, info)) << length;
        EXPECT_EQ(info.DataSize, 0u) << length;
        EXPECT_EQ(info.SampleRate, 0u) << length;
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{kProbeInvalid}) << length;

        std::FILE* stream = std::fopen(path.c_str(), "rb");
        boxes.Clear();
        EXPECT_FALSE(ReadWaveHeader(stream).has_value()) << length;
        EXPECT_EQ(boxes.Lines(), std::vector<std::string>{kReaderInvalid}) << length;
        std::fclose(stream);
    }
}

TEST(WaveHeader, DataSizeAbove2GiBIsKeptUnsigned) {
    TempDir dir;
    WaveLayout layout = Canonical();
    layout.declaredDataSize = 0x90000000u;
    WriteFile(dir.File("big.wav"), WaveBytes(layout));
    std::FILE* stream = std::fopen(dir.File("big.wav").c_str(), "rb");
    BoxRecorder boxes;
    const auto format = ReadWaveHeader(stream);
    std::fclose(stream);
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(format->DataSize, 0x90000000u);
}
