// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <system_error>

namespace platform {

// One spelling for every path to the same file: links and ".." resolved in what exists, the rest
// normalised, since the file itself (an output not yet written) may not exist.
inline std::filesystem::path ResolvedPath(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    if (error) {
        resolved = std::filesystem::absolute(path, error).lexically_normal();
    }
    return resolved;
}

}  // namespace platform
