// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// Texts of a file-list row, fixed when the row is added.

// "m:ss"-style duration: minutes and seconds always two digits, hours only when there are any
// ("00:05", "59:59", "1:00:00", "27:46:40").
std::string TimeText(uint32_t seconds);

// Whole kilobytes, remainder dropped, never less than 1: "1 kB" for an empty data chunk.
std::string SizeText(uint32_t fileSize);

// "44100Hz".
std::string SampleRateText(uint32_t sampleRate);

// A path cut after its last separator: the name, and the folder with its trailing separator.
// Joined again they give the path back.
struct PathParts {
    std::string Name;
    std::string Folder;
};
PathParts SplitPath(const std::string& path, char separator);

// The extension with its dot, or empty when the name has none.
std::string FileExtension(const std::string& name);
