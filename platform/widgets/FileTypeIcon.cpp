// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileTypeIcon.h"

#include <QFileIconProvider>
#include <QMimeDatabase>

namespace platform {

QIcon SmallFileTypeIcon(const std::string& extension) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(
        QStringLiteral("file") + QString::fromStdString(extension), QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) {
        icon = QIcon::fromTheme(type.genericIconName());
    }
    if (icon.isNull()) {
        icon = QFileIconProvider().icon(QFileIconProvider::File);
    }
    return icon;
}

}  // namespace platform
