#include "BatchArguments.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "ConsoleText.h"

namespace {

std::optional<int> NumberIn(std::string_view text, int first, int last) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || value < first || value > last) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> IndexIn(const std::string& text, int last) {
    return NumberIn(text, 0, last);
}

// More workers than this only queue for the same cores and memory.
constexpr int kMostJobs = 1024;

std::optional<OutputFormat> FormatNamed(const std::string& text) {
    if (text == "mp3" || text == "MP3") {
        return OutputFormat::MP3;
    }
    if (text == "wma" || text == "WMA") {
        return OutputFormat::WMA;
    }
    if (text == "ogg" || text == "OGG") {
        return OutputFormat::OGG;
    }
    return std::nullopt;
}

// An option that takes a value accepts it as the next argument or after "=".
struct ValueOption {
    const char* name;
    const char* shortName;
};

}  // namespace

BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments,
                                   const ConversionOptions& start) {
    BatchArguments result;
    result.Options = start;
    ConversionOptions& options = result.Options;

    auto fail = [&result](const std::string& error) {
        if (result.Error.empty()) {
            // One line, whatever the arguments it quotes hold.
            result.Error = EscapeControls(error);
        }
    };

    struct Flag {
        const char* name;
        bool* field;
        bool value;
    };
    const Flag flags[] = {
        {"--mp3-crc", &options.Mp3Crc, true},
        {"--no-mp3-crc", &options.Mp3Crc, false},
        {"--mp3-copyright", &options.Mp3Copyright, true},
        {"--no-mp3-copyright", &options.Mp3Copyright, false},
        {"--mp3-original", &options.Mp3Original, true},
        {"--no-mp3-original", &options.Mp3Original, false},
        {"--mp3-private", &options.Mp3Private, true},
        {"--no-mp3-private", &options.Mp3Private, false},
        {"--beside-source", &options.CustomDir, false},
        {"-0", &result.NullSeparated, true},
        {"--null", &result.NullSeparated, true},
        {"-n", &result.NoClobber, true},
        {"--no-clobber", &result.NoClobber, true},
        {"-r", &result.Recursive, true},
        {"--recursive", &result.Recursive, true},
        {"--keep-tree", &result.KeepTree, true},
        {"--version", &result.Version, true},
    };

    bool filesOnly = false;
    for (std::size_t i = 0; i < arguments.size() && result.Error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (filesOnly || argument.empty() || argument[0] != '-' || argument == "-") {
            result.Files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            filesOnly = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            result.Help = true;
            continue;
        }
        bool matched = false;
        for (const Flag& flag : flags) {
            if (argument == flag.name) {
                *flag.field = flag.value;
                matched = true;
            }
        }
        if (matched) {
            continue;
        }

        // The options that take a value.
        std::string name = argument;
        std::optional<std::string> value;
        if (const auto equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        } else if (argument.size() > 2 && argument[1] != '-') {
            // A short option's value may follow it directly: -j4.
            name = argument.substr(0, 2);
            value = argument.substr(2);
        }
        static const ValueOption kValueOptions[] = {
            {"--format", "-f"},
            {"--output-dir", "-o"},
            {"--mp3-bitrate-index", nullptr},
            {"--wma-bitrate-index", nullptr},
            {"--ogg-quality-index", nullptr},
            {"--jobs", "-j"},
            {"--files-from", nullptr},
            {"--report", nullptr},
            {"--shard", nullptr},
        };
        const ValueOption* option = nullptr;
        for (const ValueOption& candidate : kValueOptions) {
            if (name == candidate.name ||
                (candidate.shortName != nullptr && name == candidate.shortName)) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            fail("unknown option '" + argument + "'");
            break;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                fail("option '" + name + "' needs a value");
                break;
            }
            value = arguments[++i];
        }
        const std::string optionName = option->name;
        if (optionName == "--format") {
            if (const auto format = FormatNamed(*value)) {
                options.OutputFormat = *format;
            } else {
                fail("unknown format '" + *value + "' (mp3, wma or ogg)");
            }
        } else if (optionName == "--output-dir") {
            if (value->empty()) {
                fail("option '" + name + "' needs a folder");
            }
            options.CustomDir = true;
            options.OutputDir = *value;
        } else if (optionName == "--mp3-bitrate-index") {
            if (const auto index = IndexIn(*value, 6)) {
                options.Mp3BitrateIndex = *index;
            } else {
                fail("MP3 bitrate index '" + *value + "' is not 0 to 6");
            }
        } else if (optionName == "--wma-bitrate-index") {
            if (const auto index = IndexIn(*value, 5)) {
                options.WmaBitrateIndex = *index;
            } else {
                fail("WMA bitrate index '" + *value + "' is not 0 to 5");
            }
        } else if (optionName == "--jobs") {
            if (const auto jobs = NumberIn(*value, 1, kMostJobs)) {
                result.Jobs = *jobs;
            } else {
                fail("jobs '" + *value + "' is not 1 to " + std::to_string(kMostJobs));
            }
        } else if (optionName == "--files-from") {
            if (value->empty()) {
                fail("option '" + name + "' needs a file");
            }
            result.FilesFrom.push_back(*value);
        } else if (optionName == "--report") {
            if (value->empty()) {
                fail("option '" + name + "' needs a file");
            }
            result.Report = *value;
        } else if (optionName == "--shard") {
            const std::string_view text = *value;
            const auto slash = text.find('/');
            const auto count = slash == std::string_view::npos
                                   ? std::nullopt
                                   : NumberIn(text.substr(slash + 1), 1, 1 << 30);
            const auto index =
                count ? NumberIn(text.substr(0, slash), 1, *count) : std::optional<int>();
            if (index) {
                result.ShardIndex = *index;
                result.ShardCount = *count;
            } else {
                fail("shard '" + *value + "' is not K/N with 1 <= K <= N");
            }
        } else {
            if (const auto index = IndexIn(*value, 9)) {
                options.OggQualityIndex = *index;
            } else {
                fail("Ogg quality index '" + *value + "' is not 0 to 9");
            }
        }
    }
    const bool asksForText = result.Help || result.Version;
    if (result.Error.empty() && !asksForText && result.Files.empty() && result.FilesFrom.empty()) {
        fail("no WAVE file given");
    }
    if (result.Error.empty() && !asksForText && result.KeepTree && !options.CustomDir) {
        fail("--keep-tree needs an output folder (--output-dir)");
    }
    return result;
}

std::string BatchUsage(const std::string& program) {
    return "Usage: " + program +
           " [options] FILE|FOLDER...\n"
           "Converts PCM WAVE files to MP3, WMA or Ogg Vorbis, several at once.\n"
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
           "  -j, --jobs N                 convert N files at once (default: one per\n"
           "                               processor this process may run on)\n"
           "      --files-from FILE        also convert the paths listed in FILE (a file or a\n"
           "                               pipe; '-': standard input), one a line\n"
           "  -0, --null                   the lists separate their paths with NUL bytes\n"
           "  -r, --recursive              walk the subfolders of a folder too\n"
           "      --keep-tree              with -o, repeat each folder's tree below DIR\n"
           "  -n, --no-clobber             skip a file whose output file exists\n"
           "      --report FILE            write one JSON line per file into FILE\n"
           "      --shard K/N              convert only list positions K, K+N, K+2N, ...\n"
           "  -h, --help                   show this text\n"
           "      --version                show the version\n"
           "\n"
           "Every problem is reported on standard error as one line, \"caption: text\".\n"
           "A folder gives its files ending in .wav (any case), sorted, hidden ones left out.\n"
           "Exit status: 0 when every file was converted, 1 when any file was not or the\n"
           "report could not be written, 2 for a usage error.\n";
}
