// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

#include <string>

namespace detail {
// The command line the toolkit sees; it must outlive the application object, so it is built first.
struct ProgramNameOnly {
    explicit ProgramNameOnly(const char* programName);
    std::string name;
    int argc = 1;
    char* argv[2];
};
}  // namespace detail

// The application object. An error that escapes a window's event handler is shown in the standard
// error box and the program goes on, rather than ending it.
// The toolkit is given the program's name only: the program takes no arguments, and options such
// as -reverse or -style must not reach the toolkit and change every window.
// (No Q_OBJECT: the meta-object system wants QObject as the first base, and this adds no signals.)
class TSonvertApplication : private detail::ProgramNameOnly, public QApplication {
  public:
    explicit TSonvertApplication(const char* programName);

    bool notify(QObject* receiver, QEvent* event) override;

    // Makes the Tahoma face the windows ask for available when the system has none of its own,
    // and stands faces of the system's font packages in for the Windows faces packs name.
    static void RegisterFallbackFonts();
};
