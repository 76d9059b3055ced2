#pragma once

#include <QApplication>

// The application object. An error that escapes a window's event handler is shown in the standard
// error box and the program goes on, rather than ending it.
class TSonvertApplication : public QApplication {
    Q_OBJECT

  public:
    TSonvertApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Makes the Tahoma face the windows ask for available when the system has none of its own.
    static void RegisterFallbackFonts();
};
