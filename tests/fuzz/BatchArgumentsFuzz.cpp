// SPDX-License-Identifier: GPL-3.0-or-later
// sonvert-batch's command line from arbitrary arguments: parsing must end, and an accepted line
// gives options inside their ranges and files taken from the arguments in their order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "BatchArguments.h"
#include "FuzzScratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // Arguments are separated by NUL bytes, as they are in memory.
    std::vector<std::string> arguments;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty() || size == 0) {
        arguments.push_back(current);
    }

    const BatchArguments parsed = ParseBatchArguments(arguments, ConversionOptions{});
    if (!parsed.Error.empty()) {
        if (parsed.Error.find('\n') != std::string::npos) {
            fuzzing::PropertyFailed("a usage error of more than one line");
        }
        return 0;
    }
    const ConversionOptions& options = parsed.Options;
    const int format = static_cast<int>(options.OutputFormat);
    if (format < 0 || format > 2 || options.Mp3BitrateIndex < 0 || options.Mp3BitrateIndex > 6 ||
        options.WmaBitrateIndex < 0 || options.WmaBitrateIndex > 5 || options.OggQualityIndex < 0 ||
        options.OggQualityIndex > 9) {
        fuzzing::PropertyFailed("an accepted option is out of its range");
    }
    if (parsed.Jobs < 0 || parsed.ShardCount < 1 || parsed.ShardIndex < 1 ||
        parsed.ShardIndex > parsed.ShardCount) {
        fuzzing::PropertyFailed("an accepted job count or shard is out of its range");
    }
    std::size_t next = 0;
    for (const std::string& file : parsed.Files) {
        while (next < arguments.size() && arguments[next] != file) {
            ++next;
        }
        if (next == arguments.size()) {
            fuzzing::PropertyFailed("a file that is not one of the arguments, or out of order");
        }
        ++next;
    }
    return 0;
}
