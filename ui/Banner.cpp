// SPDX-License-Identifier: GPL-3.0-or-later
#include "Banner.h"

#include <QFile>
#include <QString>
#include <QWidget>

#include <cstring>
#include <filesystem>

#include "CppWebBrowser.h"
#include "IniFile.h"
#include "MessageBox.h"
#include "ProgramDir.h"
#include "SettingsLocation.h"
#include "TempFolder.h"

namespace banner {
namespace {

QByteArray ReadResource(const QString& name) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Writes the movie; a failure is reported like any error the toolkit raises inside an event.
bool WriteMovie(const std::string& path) {
    const QByteArray movie = MovieResource();
    const std::string reason =
        platform::WriteNewFile(path, movie.constData(), static_cast<std::size_t>(movie.size()));
    if (!reason.empty()) {
        platform::ShowStandardError("Cannot create file \"" + path + "\". " + reason);
        return false;
    }
    return true;
}

}  // namespace

QByteArray MovieResource() {
    return ReadResource(QStringLiteral(":/Binary/ADFlash"));
}

QByteArray PageResource() {
    return ReadResource(QStringLiteral(":/HTM/ShowFlashHtml"));
}

bool IsOn(const std::string& adValue) {
    return Trimmed(adValue) != "0";
}

QByteArray PageFor(const QByteArray& page, const std::string& moviePath) {
    QByteArray text = page;
    text.replace(PagePlaceholder, QByteArray::fromStdString(moviePath));
    QByteArrayList lines = text.split('\n');
    // A final line end does not start another line.
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    QByteArray out;
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        out += line;
        out += "\r\n";
    }
    return out;
}

std::string SetUp(QWidget* window, TCppWebBrowser* browser, const std::string& programDir) {
    const platform::IniFile settings(
        platform::LocateSettings(platform::ExamineProgramFolder(programDir),
                                 platform::UserConfigHome(), "Sonvert.ini")
            .ReadPath());
    if (!IsOn(settings.ReadString("General", "Ad", ""))) {
        browser->setVisible(false);
        browser->move(window->width() + 100, browser->y());
        return {};
    }
    browser->setVisible(true);

    // Never a shared folder: another user's instance would hold the name or plant a link there.
    const std::string folder = platform::RuntimeFolder();
    if (folder.empty()) {
        platform::ShowStandardError("Cannot create file \"" + std::string(MovieFileName) +
                                    "\". No folder of this user's own for it in \"" +
                                    platform::TempFolder() + "\".");
        return {};
    }
    const std::string moviePath =
        platform::WithTrailingSeparator(folder, platform::PathSeparator) + MovieFileName;
    if (!WriteMovie(moviePath)) {
        return moviePath;
    }
    const QByteArray page = PageFor(PageResource(), moviePath);
    browser->AllowLocalFile(QString::fromStdString(moviePath));
    // The page goes in only once the blank document stands; the window does not wait for it.
    browser->Navigate(QStringLiteral("about:blank"), [browser, page] {
        if (browser->HasDocument() && !browser->Busy()) {
            browser->LoadFromStream(page);
        }
    });
    return moviePath;
}

void CleanUp(const std::string& moviePath) {
    if (moviePath.empty()) {
        return;
    }
    std::error_code error;
    if (std::filesystem::is_regular_file(moviePath, error)) {
        std::filesystem::remove(moviePath, error);
    }
}

bool SwallowsRightPress(const QRect& browserBounds, const QPoint& clientPoint) {
    const int left = browserBounds.left();
    const int top = browserBounds.top();
    return left < clientPoint.x() && clientPoint.x() < left + browserBounds.width() &&
           top < clientPoint.y() && clientPoint.y() < top + browserBounds.height();
}

}  // namespace banner
