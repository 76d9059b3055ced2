#include "Sonvertapplication.h"

#include <QDir>
#include <QFontDatabase>

#include <exception>

#include "Glyphs.h"
#include "MessageBox.h"

detail::ProgramNameOnly::ProgramNameOnly(const char* programName)
    : name(programName != nullptr && *programName != '\0' ? programName : "sonvert"),
      argv{name.data(), nullptr} {}

TSonvertApplication::TSonvertApplication(const char* programName)
    : detail::ProgramNameOnly(programName), QApplication(argc, argv) {
    setWindowIcon(ProgramIcon());
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
