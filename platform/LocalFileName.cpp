// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalFileName.h"

#include <QFile>
#include <QUrl>

#include <filesystem>
#include <vector>

#include "DirectoryListing.h"

namespace platform {
namespace {

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The entry of `folder` whose decoded name is `name`; nothing when none or several are.
std::optional<std::string> EntryNamed(const std::string& folder, const QString& name) {
    std::optional<std::string> found;
    for (const std::string& entry : ListEntryNames(folder.empty() ? "." : folder)) {
        if (QFile::decodeName(QByteArray::fromStdString(entry)) == name) {
            if (found) {
                return std::nullopt;
            }
            found = entry;
        }
    }
    return found;
}

}  // namespace

std::string FileSystemPath(const QString& path) {
    const std::string encoded = QFile::encodeName(path).toStdString();
    if (Exists(encoded) || !path.contains(QChar::ReplacementCharacter)) {
        return encoded;
    }
    std::string resolved = path.startsWith(QLatin1Char('/')) ? "/" : "";
    for (const QString& component : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const std::string spelt = Join(resolved, QFile::encodeName(component).toStdString());
        if (Exists(spelt)) {
            resolved = spelt;
        } else if (const auto entry = EntryNamed(resolved, component)) {
            resolved = Join(resolved, *entry);
        } else {
            return encoded;
        }
    }
    return resolved;
}

std::optional<std::string> LocalFileOfUrl(const QUrl& url) {
    if (!url.isLocalFile()) {
        return std::nullopt;
    }
    // toLocalFile() decodes the escapes as UTF-8 and loses any other byte; the encoded path keeps
    // them. A file on another host keeps the toolkit's spelling of it.
    const QString host = url.host();
    if (!host.isEmpty() && host != QLatin1String("localhost")) {
        return QFile::encodeName(url.toLocalFile()).toStdString();
    }
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace platform
