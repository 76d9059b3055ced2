#include "TempFolder.h"

#include <QDir>

#include <mutex>

namespace platform {
namespace {

std::mutex folderMutex;
std::string& Override() {
    static std::string dir;
    return dir;
}

}  // namespace

std::string TempFolder() {
    {
        std::lock_guard lock(folderMutex);
        if (!Override().empty()) {
            return Override();
        }
    }
    // Honours TMPDIR like the rest of the system's tools.
    return QDir::tempPath().toStdString();
}

void SetTempFolderForTesting(const std::string& dir) {
    std::lock_guard lock(folderMutex);
    Override() = dir;
}

std::string WithTrailingSeparator(const std::string& folder, char separator) {
    const auto last = folder.rfind(separator);
    if (last == std::string::npos || last + 1 != folder.size()) {
        return folder + separator;
    }
    return folder;
}

}  // namespace platform
