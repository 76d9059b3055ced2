// SPDX-License-Identifier: GPL-3.0-or-later
#include "Opendialog.h"

#include <QStringList>
#include <QWidget>

#include "FileDialogs.h"

TOpenDialog::TOpenDialog(QObject* parent) : QObject(parent) {}

bool TOpenDialog::Execute() {
    auto chosen = platform::GetOpenFileNames(qobject_cast<QWidget*>(parent()),
                                             ToolkitFilter(filter_).toStdString());
    if (!chosen) {
        return false;
    }
    files_ = std::move(*chosen);
    return true;
}

QString TOpenDialog::ToolkitFilter(const QString& filter) {
    if (filter.isEmpty()) {
        return {};
    }
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            patterns << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
        }
        const QString description = parts[i].isEmpty() ? parts[i + 1] : parts[i];
        entries << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}
