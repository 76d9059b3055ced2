// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Why a file could not be opened for reading.
enum class OpenFailure {
    None,
    CannotOpen,      // missing, refused, or a folder
    NotRegularFile,  // a pipe, device or socket: it opens, but holds no file's bytes
};

// Opens a regular file for binary reading; null otherwise, with the reason in `failure`. Opening
// never waits (a FIFO without a writer would block for ever), and the descriptor is not inherited
// by programs started meanwhile.
std::FILE* OpenRegularFile(const std::string& path, OpenFailure& failure);

}  // namespace platform
