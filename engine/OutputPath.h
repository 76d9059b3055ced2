// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Path conventions of a file system: the separator, and whether a drive colon also ends a folder.
struct PathStyle {
    char separator;
    bool driveColon;
};

inline constexpr PathStyle kWindowsPaths{'\\', true};
inline constexpr PathStyle kPosixPaths{'/', false};

// The extension of a format's output files, by its index; an unknown index gives MP3's.
const char* TargetExtension(int outputFormat);

// Where a source's output goes: beside the source, or into outputDir when customDir is set.
std::string OutputPathFor(const std::string& source, bool customDir, const std::string& outputDir,
                          const std::string& extension, PathStyle style);
