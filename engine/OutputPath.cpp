#include "OutputPath.h"

namespace {

bool IsDelimiter(char c, PathStyle style) {
    return c == style.separator || (style.driveColon && c == ':');
}

// The extension starts at the last dot that no path delimiter follows.
std::string::size_type ExtensionStart(const std::string& path, PathStyle style) {
    for (auto i = path.size(); i-- > 0;) {
        if (path[i] == '.') {
            return i;
        }
        if (IsDelimiter(path[i], style)) {
            break;
        }
    }
    return std::string::npos;
}

std::string WithoutExtension(const std::string& path, PathStyle style) {
    const auto dot = ExtensionStart(path, style);
    return dot == std::string::npos ? path : path.substr(0, dot);
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
    switch (outputFormat) {
        case 1:
            return ".wma";
        case 2:
            return ".ogg";
        default:
            return ".mp3";
    }
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
