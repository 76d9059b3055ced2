// SPDX-License-Identifier: GPL-3.0-or-later
#include "UrlOpener.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex openerMutex;
UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

}  // namespace

UrlOpener SetUrlOpener(UrlOpener opener) {
    std::lock_guard lock(openerMutex);
    return std::exchange(Opener(), std::move(opener));
}

void OpenUrl(const std::string& url) {
    UrlOpener opener;
    {
        std::lock_guard lock(openerMutex);
        opener = Opener();
    }
    if (opener) {
        opener(url);
        return;
    }
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace platform
