#include "BatchArguments.h"

#include <charconv>
#include <optional>

namespace {

std::optional<int> IndexIn(const std::string& text, int last) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end || value < 0 || value > last) {
        return std::nullopt;
    }
    return value;
}

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

// A usage error is one line: control characters from the arguments it quotes are shown escaped.
std::string OneLine(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string line;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0xf];
        } else {
            line += c;
        }
    }
    return line;
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
            result.Error = OneLine(error);
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
        }
        static const ValueOption kValueOptions[] = {
            {"--format", "-f"},
            {"--output-dir", "-o"},
            {"--mp3-bitrate-index", nullptr},
            {"--wma-bitrate-index", nullptr},
            {"--ogg-quality-index", nullptr},
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
        } else {
            if (const auto index = IndexIn(*value, 9)) {
                options.OggQualityIndex = *index;
            } else {
                fail("Ogg quality index '" + *value + "' is not 0 to 9");
            }
        }
    }
    if (result.Error.empty() && !result.Help && result.Files.empty()) {
        fail("no WAVE file given");
    }
    return result;
}

std::string BatchUsage(const std::string& program) {
    return "Usage: " + program +
           " [options] FILE...\n"
           "Converts PCM WAVE files to MP3, WMA or Ogg Vorbis, one after the other.\n"
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
           "  -h, --help                   show this text\n"
           "\n"
           "Every problem is reported on standard error as one line, \"caption: text\".\n"
           "Exit status: 0 when every file was converted, 1 when any file failed,\n"
           "2 for a usage error.\n";
}
