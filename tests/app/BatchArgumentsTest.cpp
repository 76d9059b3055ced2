#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BatchArguments.h"
#include "BatchConsole.h"

namespace {

struct Row {
    std::vector<std::string> arguments;
    // Expected: the options changed from the defaults by `change`, or an error.
    void (*change)(ConversionOptions&);
    std::vector<std::string> files;
    bool error;
};

TEST(ParseBatchArguments, SetsEveryOptionField) {
    const Row rows[] = {
        {{"a.wav"}, [](ConversionOptions&) {}, {"a.wav"}, false},
        {{"-f", "wma", "a.wav"},
         [](ConversionOptions& o) { o.OutputFormat = OutputFormat::WMA; },
         {"a.wav"},
         false},
        {{"--format=ogg", "a.wav", "b.wav"},
         [](ConversionOptions& o) { o.OutputFormat = OutputFormat::OGG; },
         {"a.wav", "b.wav"},
         false},
        {{"--format", "MP3", "a.wav"}, [](ConversionOptions&) {}, {"a.wav"}, false},
        {{"-o", "/tmp/out", "a.wav"},
         [](ConversionOptions& o) {
             o.CustomDir = true;
             o.OutputDir = "/tmp/out";
         },
         {"a.wav"},
         false},
        {{"-o", "/x", "--beside-source", "a.wav"},
         [](ConversionOptions& o) { o.OutputDir = "/x"; },
         {"a.wav"},
         false},
        {{"--mp3-bitrate-index", "6", "--wma-bitrate-index=0", "--ogg-quality-index", "9", "a"},
         [](ConversionOptions& o) {
             o.Mp3BitrateIndex = 6;
             o.WmaBitrateIndex = 0;
             o.OggQualityIndex = 9;
         },
         {"a"},
         false},
        {{"--mp3-crc", "--mp3-copyright", "--mp3-original", "--mp3-private", "a"},
         [](ConversionOptions& o) {
             o.Mp3Crc = o.Mp3Copyright = o.Mp3Original = o.Mp3Private = true;
         },
         {"a"},
         false},
        {{"--mp3-crc", "--no-mp3-crc", "a"}, [](ConversionOptions&) {}, {"a"}, false},
        // After "--" everything is a file, even what looks like an option.
        {{"--", "-f", "--help"}, [](ConversionOptions&) {}, {"-f", "--help"}, false},
        {{"-"}, [](ConversionOptions&) {}, {"-"}, false},
        // Usage errors.
        {{}, nullptr, {}, true},
        {{"--mp3-crc"}, nullptr, {}, true},
        {{"-f", "flac", "a"}, nullptr, {}, true},
        {{"-f"}, nullptr, {}, true},
        {{"--mp3-bitrate-index", "7", "a"}, nullptr, {}, true},
        {{"--mp3-bitrate-index", "-1", "a"}, nullptr, {}, true},
        {{"--mp3-bitrate-index", "128", "a"}, nullptr, {}, true},
        {{"--wma-bitrate-index", "6", "a"}, nullptr, {}, true},
        {{"--ogg-quality-index", "10", "a"}, nullptr, {}, true},
        {{"--ogg-quality-index", "3x", "a"}, nullptr, {}, true},
        {{"--output-dir=", "a"}, nullptr, {}, true},
        {{"--frobnicate", "a"}, nullptr, {}, true},
        {{"--mp3-crc=1", "a"}, nullptr, {}, true},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& argument : row.arguments) {
            joined += argument + " ";
        }
        const BatchArguments parsed = ParseBatchArguments(row.arguments, ConversionOptions{});
        if (row.error) {
            EXPECT_FALSE(parsed.Error.empty()) << joined;
            continue;
        }
        EXPECT_EQ(parsed.Error, "") << joined;
        ConversionOptions expected;
        row.change(expected);
        EXPECT_EQ(parsed.Options, expected) << joined;
        EXPECT_EQ(parsed.Files, row.files) << joined;
        EXPECT_FALSE(parsed.Help);
    }
}

TEST(ParseBatchArguments, UsageErrorIsOneLineWhateverTheArguments) {
    const std::vector<std::vector<std::string>> rows{
        {"--\n-x.wav"},
        {"-f", "ogg\r\nmp3", "a"},
        {"--output-dir\x1b[2J=x", "a"},
        {"--mp3-bitrate-index", "1\t", "a"},
    };
    for (const auto& arguments : rows) {
        const std::string error = ParseBatchArguments(arguments, ConversionOptions{}).Error;
        ASSERT_FALSE(error.empty()) << arguments[0];
        EXPECT_EQ(error.find_first_of("\r\n\t\x1b"), std::string::npos) << error;
    }
    EXPECT_EQ(ParseBatchArguments({"--\n-x.wav"}, ConversionOptions{}).Error,
              "unknown option '--\\x0a-x.wav'");
}

TEST(ParseBatchArguments, StartsFromTheGivenOptions) {
    ConversionOptions start;
    start.OutputFormat = OutputFormat::OGG;
    start.Mp3Private = true;
    start.CustomDir = true;
    start.OutputDir = "/music";
    const BatchArguments parsed = ParseBatchArguments({"--no-mp3-private", "a"}, start);
    ConversionOptions expected = start;
    expected.Mp3Private = false;
    EXPECT_EQ(parsed.Options, expected);
}

TEST(ParseBatchArguments, HelpNeedsNoFiles) {
    for (const char* option : {"-h", "--help"}) {
        const BatchArguments parsed = ParseBatchArguments({option}, ConversionOptions{});
        EXPECT_TRUE(parsed.Help);
        EXPECT_EQ(parsed.Error, "");
    }
}

TEST(BoxLine, IsCaptionColonTextOnOneLine) {
    struct Case {
        platform::BoxRecord box;
        std::string line;
    };
    const Case cases[] = {
        {{platform::BoxKind::Platform, "Could not open 'a.wav'", "Error", 0},
         "Error: Could not open 'a.wav'"},
        {{platform::BoxKind::Platform, "two\nlines\r\nhere", "vorbis", 0},
         "vorbis: two lines  here"},
        {{platform::BoxKind::StandardError, "", "sonvert-batch", 0x10}, "sonvert-batch: "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BoxLine(c.box), c.line);
    }
}

TEST(ProgressLine, FitsTheWidthAndKeepsTheFileName) {
    const std::string full = ProgressLine(2, 5, 45, 29, "/music/song.wav", 80);
    EXPECT_EQ(full, "2/5 [####------] 45% total [##--------] 29% /music/song.wav");
    const std::string cut = ProgressLine(2, 5, 45, 29, "/a/very/long/folder/name/song.wav", 60);
    EXPECT_EQ(cut.size(), 60u);
    EXPECT_EQ(cut.substr(cut.size() - 8), "song.wav");
    EXPECT_NE(cut.find("..."), std::string::npos);
    EXPECT_EQ(ProgressLine(1, 1, 150, -3, "x", 80),
              "1/1 [##########]100% total [----------]  0% x");
    EXPECT_EQ(ProgressLine(1, 1, 0, 0, "x", 10).size(), 10u);
}

TEST(BatchExitStatus, IsZeroOnlyWhenEveryFileWasConverted) {
    EXPECT_EQ(BatchExitStatus(3, 3), 0);
    EXPECT_EQ(BatchExitStatus(2, 3), 1);
    EXPECT_EQ(BatchExitStatus(0, 1), 1);
}

}  // namespace
