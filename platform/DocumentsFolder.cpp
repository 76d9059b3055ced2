// SPDX-License-Identifier: GPL-3.0-or-later
#include "DocumentsFolder.h"

#include <QDir>
#include <QStandardPaths>

#include <mutex>

namespace platform {
namespace {

std::mutex folderMutex;
std::string& Override() {
    static std::string folder;
    return folder;
}

}  // namespace

std::string DocumentsFolder() {
    {
        std::lock_guard lock(folderMutex);
        if (!Override().empty()) {
            return Override();
        }
    }
    QString location = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (location.isEmpty()) {
        location = QDir::homePath();
    }
    std::string folder = location.toStdString();
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

void SetDocumentsFolderForTesting(const std::string& folder) {
    std::lock_guard lock(folderMutex);
    Override() = folder;
}

}  // namespace platform
