// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sonvertapplication.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>

#include <exception>

#include "Glyphs.h"
#include "MessageBox.h"
#include "WidgetBoxes.h"

detail::ProgramNameOnly::ProgramNameOnly(const char* programName)
    : name(programName != nullptr && *programName != '\0' ? programName : "sonvert"),
      argv{name.data(), nullptr} {}

TSonvertApplication::TSonvertApplication(const char* programName)
    : detail::ProgramNameOnly(programName), QApplication(argc, argv) {
    setWindowIcon(ProgramIcon());
    platform::InstallWidgetBoxes();
}

bool TSonvertApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        platform::ShowStandardError(error.what());
    } catch (...) {
        platform::ShowStandardError("");
    }
    return false;
}

void TSonvertApplication::RegisterFallbackFonts() {
    // A pack names the Windows face for its script; these faces of the packages the program
    // depends on cover the same scripts. A system that has the Windows face keeps it.
    static const struct {
        const char* windows;
        const char* here;
    } substitutes[] = {
        {"Arial", "Liberation Sans"},  // Greek, Vietnamese
        {"Meiryo UI", "Noto Sans CJK JP"},
        {"Meiryo", "Noto Sans CJK JP"},
        {"MS UI Gothic", "Noto Sans CJK JP"},
        {"Malgun Gothic", "Noto Sans CJK KR"},
        {"Gulim", "Noto Sans CJK KR"},
        {"SimSun", "WenQuanYi Micro Hei"},
        {"Microsoft YaHei", "WenQuanYi Micro Hei"},
        {"PMingLiU", "WenQuanYi Micro Hei"},
    };
    for (const auto& face : substitutes) {
        QFont::insertSubstitution(QLatin1String(face.windows), QLatin1String(face.here));
    }
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
        return;
    }
    // Wine's Tahoma-compatible faces lie outside the font configuration's search path.
    const QDir wineFonts(QStringLiteral("/usr/share/wine/fonts"));
    for (const QString& file : {QStringLiteral("tahoma.ttf"), QStringLiteral("tahomabd.ttf")}) {
        if (wineFonts.exists(file)) {
            QFontDatabase::addApplicationFont(wineFonts.filePath(file));
        }
    }
}
