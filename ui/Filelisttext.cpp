// SPDX-License-Identifier: GPL-3.0-or-later
#include "Filelisttext.h"

#include <cstdio>

std::string TimeText(uint32_t seconds) {
    const uint32_t hours = seconds / 3600;
    const uint32_t minutes = seconds % 3600 / 60;
    const uint32_t rest = seconds % 3600 % 60;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%u:%02u:%02u", hours, minutes, rest);
    } else {
        std::snprintf(text, sizeof text, "%02u:%02u", minutes, rest);
    }
    return text;
}

std::string SizeText(uint32_t fileSize) {
    const uint32_t kilobytes = fileSize / 1024;
    return std::to_string(kilobytes > 0 ? kilobytes : 1) + " kB";
}

std::string SampleRateText(uint32_t sampleRate) {
    return std::to_string(sampleRate) + "Hz";
}

PathParts SplitPath(const std::string& path, char separator) {
    const std::size_t cut = path.rfind(separator);
    if (cut == std::string::npos) {
        return {path, {}};
    }
    return {path.substr(cut + 1), path.substr(0, cut + 1)};
}

std::string FileExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}
