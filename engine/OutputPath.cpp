// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputPath.h"

#include "Formats.h"

namespace {

bool IsDelimiter(char c, PathStyle style) {
    return c == style.separator || (style.driveColon && c == ':');
}

// The extension starts at the last dot that no path delimiter follows.
std::string WithoutExtension(const std::string& path, PathStyle style) {
    for (auto i = path.size(); i-- > 0 && !IsDelimiter(path[i], style);) {
        if (path[i] == '.') {
            return path.substr(0, i);
        }
    }
    return path;
}

std::string FileName(const std::string& path, PathStyle style) {
    for (auto i = path.size(); i-- > 0;) {
        if (IsDelimiter(path[i], style)) {
            return path.substr(i + 1);
        }
    }
    return path;
}

}  // namespace

const char* TargetExtension(int outputFormat) {
    return FormatOf(static_cast<OutputFormat>(outputFormat)).Extension;
}

std::string OutputPathFor(const std::string& source, bool customDir, const std::string& outputDir,
                          const std::string& extension, PathStyle style) {
    if (!customDir) {
        return WithoutExtension(source, style) + extension;
    }
    const std::string name = WithoutExtension(FileName(source, style), style) + extension;
    if (!outputDir.empty() && outputDir.back() == style.separator) {
        return outputDir + name;
    }
    return outputDir + style.separator + name;
}
