// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchArguments.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

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

// More workers than this only queue for the same cores and memory.
constexpr int kMostJobs = 1024;

// The formats as the command line names them: "mp3|wma|ogg", "mp3, wma or ogg".
std::string FormatNames(const char* separator, const char* last) {
    std::string names;
    for (std::size_t i = 0; i < Formats.size(); ++i) {
        names += i == 0 ? "" : i + 1 < Formats.size() ? separator : last;
        names += Formats[i].Extension + 1;
    }
    return names;
}

std::string TakeFormat(BatchArguments& b, const std::string& value) {
    for (std::size_t i = 0; i < Formats.size(); ++i) {
        if (value == Formats[i].Name || value == Formats[i].Extension + 1) {
            b.Options.OutputFormat = static_cast<OutputFormat>(i);
            return {};
        }
    }
    return "unknown format '" + value + "' (" + FormatNames(", ", " or ") + ")";
}

// What the messages call each format's list index, in the order of Formats.
constexpr const char* kIndexNames[] = {"MP3 bitrate index", "WMA bitrate index",
                                       "Ogg quality index"};

template <OutputFormat Format>
std::string TakeIndex(BatchArguments& b, const std::string& value) {
    const int last = static_cast<int>(FormatOf(Format).List.size()) - 1;
    const auto index = NumberIn(value, 0, last);
    if (!index) {
        return kIndexNames[FormatIndex(Format)] +
               (" '" + value + "' is not 0 to " + std::to_string(last));
    }
    b.Options.*ListIndexOf[FormatIndex(Format)] = *index;
    return {};
}

std::string TakeJobs(BatchArguments& b, const std::string& value) {
    const auto jobs = NumberIn(value, 1, kMostJobs);
    b.Jobs = jobs.value_or(b.Jobs);
    return jobs ? "" : "jobs '" + value + "' is not 1 to " + std::to_string(kMostJobs);
}

std::string TakeShard(BatchArguments& b, const std::string& value) {
    const std::string_view text = value;
    const auto slash = text.find('/');
    const auto count = slash == std::string_view::npos
                           ? std::nullopt
                           : NumberIn(text.substr(slash + 1), 1, 1 << 30);
    const auto index = count ? NumberIn(text.substr(0, slash), 1, *count) : std::optional<int>();
    if (!index) {
        return "shard '" + value + "' is not K/N with 1 <= K <= N";
    }
    b.ShardIndex = *index;
    b.ShardCount = *count;
    return {};
}

// A switch: sets a field of the arguments or of the conversion options.
template <auto Field, bool Value = true>
std::string Set(BatchArguments& b, const std::string&) {
    if constexpr (std::is_same_v<decltype(Field), bool BatchArguments::*>) {
        b.*Field = Value;
    } else {
        b.Options.*Field = Value;
    }
    return {};
}

using B = BatchArguments;
using O = ConversionOptions;

// In help texts a '_' joins two words that a line break must not part.
constexpr BatchOption kOptions[] = {
    {"-f", "--format", "{formats}", "output format", TakeFormat},
    {"-o", "--output-dir", "DIR", "write every output file into DIR",
     [](B& b, const std::string& value) {
         b.Options.CustomDir = true;
         b.Options.OutputDir = value;
         return std::string();
     }},
    {"", "--beside-source", nullptr, "write each output file beside its source",
     Set<&O::CustomDir, false>},
    {"", "--mp3-bitrate-index", "N",
     "{MP3 indices}: {MP3 values}_kbit/s\n(at most 64 kbit/s for 11025 Hz and below)",
     TakeIndex<OutputFormat::MP3>},
    {"", "--mp3-crc", nullptr, nullptr, Set<&O::Mp3Crc>},
    {"", "--mp3-copyright", nullptr, nullptr, Set<&O::Mp3Copyright>},
    {"", "--mp3-original", nullptr, nullptr, Set<&O::Mp3Original>},
    {"", "--mp3-private", nullptr, "set that MP3 header flag (--no-mp3-... clears it)",
     Set<&O::Mp3Private>},
    {"", "--no-mp3-crc", nullptr, "", Set<&O::Mp3Crc, false>},
    {"", "--no-mp3-copyright", nullptr, "", Set<&O::Mp3Copyright, false>},
    {"", "--no-mp3-original", nullptr, "", Set<&O::Mp3Original, false>},
    {"", "--no-mp3-private", nullptr, "", Set<&O::Mp3Private, false>},
    {"", "--wma-bitrate-index", "N", "{WMA indices}: {WMA values}_bit/s",
     TakeIndex<OutputFormat::WMA>},
    {"", "--ogg-quality-index", "N", "{OGG indices}: quality level {OGG range}",
     TakeIndex<OutputFormat::OGG>},
    {"", "--no-tags", nullptr, "do not copy the sources' tags into the outputs",
     Set<&O::CopyTags, false>},
    {"-j", "--jobs", "N",
     "convert N files at once (default: one per processor this process may run on)", TakeJobs},
    {"", "--files-from", "FILE",
     "also convert the paths listed in FILE (a file or a pipe; '-': standard input), one a line",
     [](B& b, const std::string& value) {
         b.FilesFrom.push_back(value);
         return std::string();
     }},
    {"-0", "--null", nullptr, "the lists separate their paths with NUL bytes",
     Set<&B::NullSeparated>},
    {"-r", "--recursive", nullptr, "walk the subfolders of a folder too", Set<&B::Recursive>},
    {"", "--keep-tree", nullptr, "with -o, repeat each folder's tree below DIR", Set<&B::KeepTree>},
    {"", "--classic-input", nullptr,
     "read only what the windows read (8- and 16-bit PCM WAVE, mono or stereo), refuse the rest "
     "with their messages; folders give .wav files only",
     Set<&B::ClassicInput>},
    {"-n", "--no-clobber", nullptr, "skip a file whose output file exists", Set<&B::NoClobber>},
    {"-u", "--update", nullptr, "skip a file whose output file is not older than it",
     Set<&B::Update>},
    {"", "--report", "FILE", "write one JSON line per file into FILE",
     [](B& b, const std::string& value) {
         b.Report = value;
         return std::string();
     }},
    {"", "--shard", "K/N", "convert only list positions K, K+N, K+2N, ...", TakeShard},
    {"-h", "--help", nullptr, "show this text", Set<&B::Help>},
    {"", "--version", nullptr, "show the version", Set<&B::Version>},
};

// The option written as `name` ("-j", "--jobs"), or nullptr.
const BatchOption* OptionNamed(const std::string& name) {
    for (const BatchOption& option : kOptions) {
        if (name == option.Long || (*option.Short != '\0' && name == option.Short)) {
            return &option;
        }
    }
    return nullptr;
}

// The help text with the formats' facts in place of the words in braces.
std::string Expand(std::string text) {
    std::vector<std::pair<std::string, std::string>> words{{"{formats}", FormatNames("|", "|")}};
    for (const FormatFacts& format : Formats) {
        std::string values;
        for (const ValueEntry& entry : format.List) {
            values += (values.empty() ? "" : ", ") + std::to_string(entry.Value);
        }
        const std::string name = std::string("{") + format.Name;
        words.insert(words.end(),
                     {{name + " indices}", "0-" + std::to_string(format.List.size() - 1)},
                      {name + " values}", values},
                      {name + " range}", std::to_string(format.List.front().Value) + " to " +
                                             std::to_string(format.List.back().Value)}});
    }
    for (const auto& [word, fact] : words) {
        if (const auto at = text.find(word); at != std::string::npos) {
            text.replace(at, word.size(), fact);
        }
    }
    return text;
}

// The help column: where it starts, and how many characters a line of it holds.
constexpr std::size_t kHelpColumn = 31;
constexpr std::size_t kHelpWidth = 50;

// The options' names, then their help filled into the help column: a line ends at a "\n" or
// before the word that would not fit.
std::string HelpEntry(const std::string& names, std::string help) {
    const std::string indent(kHelpColumn, ' ');
    std::string text = names.size() + 2 > kHelpColumn
                           ? names + "\n" + indent
                           : names + std::string(kHelpColumn - names.size(), ' ');
    for (auto newline = help.find('\n'); newline != std::string::npos || help.size() > kHelpWidth;
         newline = help.find('\n')) {
        const auto cut = newline <= kHelpWidth ? newline : help.rfind(' ', kHelpWidth);
        if (cut == std::string::npos) {
            break;  // a word longer than the column
        }
        text += help.substr(0, cut) + "\n" + indent;
        help.erase(0, cut + 1);
    }
    text += help + "\n";
    std::replace(text.begin() + static_cast<std::ptrdiff_t>(names.size()), text.end(), '_', ' ');
    return text;
}

}  // namespace

std::span<const BatchOption> BatchOptions() {
    return kOptions;
}

BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments,
                                   const ConversionOptions& start) {
    BatchArguments result;
    result.Options = start;

    auto fail = [&result](const std::string& error) {
        if (result.Error.empty()) {
            // One line, whatever the arguments it quotes hold.
            result.Error = EscapeControls(error);
        }
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
        // A value follows its option, or "=" after a long one, or a short one directly (-j4).
        const bool isLong = argument[1] == '-';
        const std::size_t split = isLong ? argument.find('=') : 2;
        const std::string name = argument.substr(0, split);
        std::optional<std::string> value;
        if (split < argument.size()) {
            value = argument.substr(split + (isLong ? 1 : 0));
        }
        const BatchOption* option = OptionNamed(name);
        if (option == nullptr || (option->Argument == nullptr && value)) {
            fail("unknown option '" + argument + "'");
            break;
        }
        if (option->Argument == nullptr) {
            option->Take(result, "");
            continue;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                fail("option '" + name + "' needs a value");
                break;
            }
            value = arguments[++i];
        }
        // A folder or a file is never the empty name.
        const std::string_view kind = option->Argument;
        if (value->empty() && (kind == "DIR" || kind == "FILE")) {
            fail("option '" + name + "' needs a " + (kind == "DIR" ? "folder" : "file"));
        }
        fail(option->Take(result, *value));
    }
    const bool asksForText = result.Help || result.Version;
    if (result.Error.empty() && !asksForText && result.Files.empty() && result.FilesFrom.empty()) {
        fail("no source file given");
    }
    if (result.Error.empty() && !asksForText && result.KeepTree && !result.Options.CustomDir) {
        fail("--keep-tree needs an output folder (--output-dir)");
    }
    return result;
}

std::string BatchUsage(const std::string& program) {
    std::string text =
        "Usage: " + program +
        " [options] FILE|FOLDER...\n"
        "Converts WAVE, AIFF and FLAC files to MP3, WMA or Ogg Vorbis, several at once.\n"
        "\n";
    std::string names;
    for (const BatchOption& option : kOptions) {
        if (option.Help != nullptr && *option.Help == '\0') {
            continue;
        }
        names += names.empty() ? *option.Short != '\0' ? std::string("  ") + option.Short + ", "
                                                       : std::string(6, ' ')
                               : ", ";
        names += option.Long;
        if (option.Argument != nullptr) {
            names += " " + Expand(option.Argument);
        }
        if (option.Help != nullptr) {
            text += HelpEntry(names, Expand(option.Help));
            names.clear();
        }
    }
    return text +
           "\n"
           "Every problem is reported on standard error as one line, \"caption: text\".\n"
           "A folder gives its .wav .wave .flac .aif .aiff .aifc .w64 .rf64 files (any\n"
           "case), sorted, hidden ones left out. 8- and 16-bit PCM WAVE files are read as\n"
           "the windows read them, the rest with libsndfile: more than 16 bits are dithered\n"
           "to 16, float beyond full scale is clipped, 3 to 8 channels are mixed to stereo.\n"
           "Exit status: 0 when every file was converted, 1 when any file was not or the\n"
           "report could not be written, 2 for a usage error.\n";
}
