// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "BatchArguments.h"
#include "BatchConsole.h"
#include "BatchReport.h"
#include "BatchSources.h"
#include "FolderCase.h"

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
        {{"--no-tags", "a"}, [](ConversionOptions& o) { o.CopyTags = false; }, {"a"}, false},
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

// The help is filled from the options and the formats; it reads as it always has.
TEST(BatchUsage, ListsEveryOptionWithItsHelp) {
    EXPECT_EQ(BatchUsage("sonvert-batch"),
              "Usage: sonvert-batch [options] FILE|FOLDER...\n"
              "Converts WAVE, AIFF and FLAC files to MP3, WMA or Ogg Vorbis, several at once.\n"
              "\n"
              "  -f, --format mp3|wma|ogg     output format\n"
              "  -o, --output-dir DIR         write every output file into DIR\n"
              "      --beside-source          write each output file beside its source\n"
              "      --mp3-bitrate-index N    0-6: 32, 64, 96, 128, 192, 256, 320 kbit/s\n"
              "                               (at most 64 kbit/s for 11025 Hz and below)\n"
              "      --mp3-crc, --mp3-copyright, --mp3-original, --mp3-private\n"
              "                               set that MP3 header flag (--no-mp3-... clears it)\n"
              "      --wma-bitrate-index N    0-5: 48000, 64000, 80000, 96000, 128000,\n"
              "                               160000 bit/s\n"
              "      --ogg-quality-index N    0-9: quality level 1 to 10\n"
              "      --no-tags                do not copy the sources' tags into the outputs\n"
              "  -j, --jobs N                 convert N files at once (default: one per\n"
              "                               processor this process may run on)\n"
              "      --files-from FILE        also convert the paths listed in FILE (a file or a\n"
              "                               pipe; '-': standard input), one a line\n"
              "  -0, --null                   the lists separate their paths with NUL bytes\n"
              "  -r, --recursive              walk the subfolders of a folder too\n"
              "      --keep-tree              with -o, repeat each folder's tree below DIR\n"
              "      --classic-input          read only what the windows read (8- and 16-bit PCM\n"
              "                               WAVE, mono or stereo), refuse the rest with their\n"
              "                               messages; folders give .wav files only\n"
              "  -n, --no-clobber             skip a file whose output file exists\n"
              "  -u, --update                 skip a file whose output file is not older than it\n"
              "      --report FILE            write one JSON line per file into FILE\n"
              "      --shard K/N              convert only list positions K, K+N, K+2N, ...\n"
              "  -h, --help                   show this text\n"
              "      --version                show the version\n"
              "\n"
              "Every problem is reported on standard error as one line, \"caption: text\".\n"
              "A folder gives its .wav .wave .flac .aif .aiff .aifc .w64 .rf64 files (any\n"
              "case), sorted, hidden ones left out. 8- and 16-bit PCM WAVE files are read as\n"
              "the windows read them, the rest with libsndfile: more than 16 bits are dithered\n"
              "to 16, float beyond full scale is clipped, 3 to 8 channels are mixed to stereo.\n"
              "Exit status: 0 when every file was converted, 1 when any file was not or the\n"
              "report could not be written, 2 for a usage error.\n");
}

// The installed manual page and bash completion name every option the parser takes.
TEST(BatchOptions, AreInTheManualPageAndTheCompletion) {
    const struct {
        const char* path;
        bool roff;  // a hyphen written "\-"
    } files[] = {{SONVERT_MANUAL_PAGE, true}, {SONVERT_COMPLETION, false}};
    for (const auto& file : files) {
        std::ifstream in(file.path);
        ASSERT_TRUE(in) << file.path;
        std::string text{std::istreambuf_iterator<char>(in), {}};
        for (auto at = text.find("\\-"); file.roff && at != std::string::npos;
             at = text.find("\\-", at)) {
            text.erase(at, 1);
        }
        const auto partOfName = [&text](std::size_t at) {
            return at < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[at])) != 0 || text[at] == '-');
        };
        const auto names = [&](const std::string& name) {
            for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
                if ((at == 0 || !partOfName(at - 1)) && !partOfName(at + name.size())) {
                    return true;
                }
            }
            return false;
        };
        for (const BatchOption& option : BatchOptions()) {
            EXPECT_TRUE(names(option.Long)) << file.path << " lacks " << option.Long;
            EXPECT_TRUE(*option.Short == '\0' || names(option.Short))
                << file.path << " lacks " << option.Short;
        }
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

TEST(ProgressLine, ShowsTheBatchAndEachRunningFileWithinTheWidth) {
    const std::vector<RunningFile> two = {{"/music/a/one.wav", 45}, {"/music/b/two.wav", 7}};
    EXPECT_EQ(ProgressLine(3, 16, 29, two, 80),
              "3/16 [##--------] 29% | 45% one.wav |  7% two.wav");
    EXPECT_EQ(ProgressLine(0, 1, 150, {}, 80), "0/1 [##########]100%");
    const std::string cut = ProgressLine(3, 16, 29, two, 30);
    EXPECT_EQ(cut.size(), 30u);
    EXPECT_EQ(cut.substr(27), "...");
}

TEST(ParseBatchArguments, ReadsTheBatchOptions) {
    struct Case {
        std::vector<std::string> arguments;
        std::string expect;  // the fields below as text, or "error"
    };
    auto describe = [](const BatchArguments& b) {
        if (!b.Error.empty()) {
            return std::string("error");
        }
        std::string text = "jobs=" + std::to_string(b.Jobs) +
                           " shard=" + std::to_string(b.ShardIndex) + "/" +
                           std::to_string(b.ShardCount);
        for (const std::string& list : b.FilesFrom) {
            text += " from=" + list;
        }
        for (const std::string& file : b.Files) {
            text += " file=" + file;
        }
        text += b.NullSeparated ? " null" : "";
        text += b.NoClobber ? " no-clobber" : "";
        text += b.Update ? " update" : "";
        text += b.Recursive ? " recursive" : "";
        text += b.KeepTree ? " keep-tree" : "";
        text += b.Report.empty() ? "" : " report=" + b.Report;
        text += b.Version ? " version" : "";
        return text;
    };
    const Case cases[] = {
        {{"a"}, "jobs=0 shard=1/1 file=a"},
        {{"-j", "4", "--jobs=2", "-j3", "a"}, "jobs=3 shard=1/1 file=a"},
        {{"--files-from", "-", "-0"}, "jobs=0 shard=1/1 from=- null"},
        {{"--files-from=l1", "--files-from", "l2", "a"}, "jobs=0 shard=1/1 from=l1 from=l2 file=a"},
        {{"-n", "-r", "--report", "r.jsonl", "d"},
         "jobs=0 shard=1/1 file=d no-clobber recursive report=r.jsonl"},
        {{"--no-clobber", "--recursive", "--null", "--files-from", "x"},
         "jobs=0 shard=1/1 from=x null no-clobber recursive"},
        {{"--keep-tree", "-o", "out", "d"}, "jobs=0 shard=1/1 file=d keep-tree"},
        {{"-u", "--update", "d"}, "jobs=0 shard=1/1 file=d update"},
        {{"--shard", "2/3", "a"}, "jobs=0 shard=2/3 file=a"},
        {{"--shard=3/3", "a"}, "jobs=0 shard=3/3 file=a"},
        {{"--version"}, "jobs=0 shard=1/1 version"},
        {{"-j", "0", "a"}, "error"},
        {{"-j", "many", "a"}, "error"},
        {{"--jobs", "1025", "a"}, "error"},
        {{"--shard", "0/3", "a"}, "error"},
        {{"--shard", "4/3", "a"}, "error"},
        {{"--shard", "3", "a"}, "error"},
        {{"--shard", "1/0", "a"}, "error"},
        {{"--shard", "1/3/4", "a"}, "error"},
        {{"--files-from="}, "error"},
        {{"--report"}, "error"},
        {{"--keep-tree", "d"}, "error"},  // nowhere to mirror the tree
        {{"-0"}, "error"},                // no sources at all
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(ParseBatchArguments(c.arguments, ConversionOptions{})), c.expect)
            << ::testing::PrintToString(c.arguments);
    }
}

TEST(BatchReport, WritesEachLineOnceEveryEarlierFileHasEnded) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    BatchReport report(file, {"a\"1.wav", "b.wav", "c.wav"}, {"a.mp3", "b.mp3", "c.mp3"});
    auto written = [file] {
        std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
        std::rewind(file);
        text.resize(std::fread(text.data(), 1, text.size(), file));
        return text;
    };
    report.Ended(2, {BatchOutcome::Stopped, {}, 0});
    EXPECT_EQ(written(), "");
    report.Ended(0, {BatchOutcome::Failed, {"Error: tab\there\x01"}, 1.25});
    const std::string first =
        "{\"source\":\"a\\\"1.wav\",\"output\":\"a.mp3\",\"outcome\":\"failed\","
        "\"messages\":[\"Error: tab\\there\\u0001\"],\"seconds\":1.250}\n";
    EXPECT_EQ(written(), first);
    report.Ended(1, {BatchOutcome::Skipped, {"x", "y"}, 0});
    EXPECT_EQ(written(), first +
                             "{\"source\":\"b.wav\",\"output\":\"b.mp3\",\"outcome\":\"skipped\","
                             "\"messages\":[\"x\",\"y\"],\"seconds\":0.000}\n"
                             "{\"source\":\"c.wav\",\"output\":\"c.mp3\",\"outcome\":\"stopped\","
                             "\"messages\":[],\"seconds\":0.000}\n");
    EXPECT_EQ(report.Close(), "");
}

TEST(JsonString, KeepsUtf8AndReplacesBytesThatAreNot) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"Ж東😀.wav", "\"Ж東😀.wav\""},
        {"caf\xe9.wav", "\"caf\\ufffd.wav\""},                     // Latin-1 name
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                        // overlong "/"
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},             // a surrogate
        {"\xe6\x9d", "\"\\ufffd\\ufffd\""},                        // cut short at the end
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // past U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.text), c.json) << c.text;
    }
}

TEST(ParsePathList, TakesLinesWithOrWithoutCrOrNulSeparatedNames) {
    const struct {
        std::string text;
        bool nul;
        std::vector<std::string> paths;
    } cases[] = {
        {"a.wav\nb c.wav\n\n", false, {"a.wav", "b c.wav"}},
        {"a.wav\r\nb.wav\r\n\r\nlast.wav", false, {"a.wav", "b.wav", "last.wav"}},
        {"a\rb.wav\n", false, {"a\rb.wav"}},
        {std::string("a.wav\r\0b\nc.wav\0\0", 16), true, {"a.wav\r", "b\nc.wav"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> paths;
        for (const BatchSource& entry : ParsePathList(c.text, c.nul, "list")) {
            paths.push_back(entry.path);
        }
        EXPECT_EQ(paths, c.paths) << ::testing::PrintToString(c.text);
    }
}

// The long steps of the start-up (a large tree takes seconds) end as soon as a stop is asked for.
TEST(CollectSources, EveryLongStepEndsAtAStop) {
    const std::filesystem::path root = std::filesystem::path(::testing::TempDir()) / "stop-walk";
    std::vector<BatchSource> sources;
    std::vector<std::string> outputs;
    for (int i = 0; i < 12; ++i) {
        const auto file = root / std::to_string(i % 3) / (std::to_string(i) + ".wav");
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "x";
        sources.push_back({file.string(), ""});
        outputs.push_back(file.string() + ".mp3");
    }
    int asked = 0;
    const StopRequested afterFive = [&asked] { return ++asked > 5; };
    EXPECT_LT(CollectSources({{root.string(), ""}}, true, "", afterFive).sources.size(), 12u);
    EXPECT_EQ(std::exchange(asked, 0), 6) << "the walk ends once told to stop";
    DropRepeatedSources(sources, afterFive);
    EXPECT_EQ(std::exchange(asked, 0), 6) << "so does the check for repeated sources";
    SharedOutput(
        sources, outputs, [](const std::string&) { return false; }, afterFive);
    EXPECT_EQ(asked, 6) << "and the check for shared outputs";
    std::filesystem::remove_all(root);
}

TEST(BatchExitStatus, IsZeroOnlyWhenEveryFileWasConverted) {
    EXPECT_EQ(BatchExitStatus(3, 3), 0);
    EXPECT_EQ(BatchExitStatus(2, 3), 1);
    EXPECT_EQ(BatchExitStatus(0, 1), 1);
}

}  // namespace

// Names that differ only in case are one output where the folder folds case.
TEST(SharedOutput, FoldsCaseOnlyWhereTheFolderDoes) {
    const auto foldsUsb = [](const std::string& folder) { return folder == "/media/usb"; };
    const struct {
        std::vector<std::string> outputs;
        bool shared;
    } cases[] = {
        {{"/media/usb/Track.mp3", "/media/usb/track.mp3"}, true},
        {{"/media/usb/Café.mp3", "/media/usb/CAFÉ.mp3"}, true},
        {{"/home/u/Track.mp3", "/home/u/track.mp3"}, false},
        {{"/media/usb/a.mp3", "/media/usb/b.mp3"}, false},
    };
    for (const auto& c : cases) {
        const std::vector<BatchSource> sources = {{"a/x.wav", ""}, {"b/x.wav", ""}};
        EXPECT_EQ(SharedOutput(sources, c.outputs, foldsUsb).has_value(), c.shared) << c.outputs[0];
    }
    EXPECT_FALSE(platform::FolderFoldsCase(::testing::TempDir()))
        << "the test's own folder is case-sensitive";
}
