// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded into the real program (LD_PRELOAD) by the start-up tests: it tells on standard output
// what the windows show and acts on the lines of standard input as a user would, so that the
// program under test is the one users start.
//
// Output lines: "shown <layout direction>" once the main window is up; "box <text>" for every
// message box, which it then closes; "renderer <pid> <scheme>" in answer to "renderer", the
// banner's render process (0 while it has none) and the scheme of its page's address. Input lines:
// "convert <wav file>" drops the file on the main window and presses Convert.
#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Tell(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("MainForm")) {
            return widget;
        }
    }
    return nullptr;
}

void Convert(const QString& file) {
    QWidget* window = MainWindow();
    if (window == nullptr) {
        Tell(QStringLiteral("error no main window"));
        return;
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QDropEvent drop(QPointF(10, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the window: the application passes drops on only while a drag is under way.
    static_cast<QObject*>(window)->event(&drop);
    auto* convert = window->findChild<QAbstractButton*>(QStringLiteral("SpeedButtonConvert"));
    if (convert == nullptr) {
        Tell(QStringLiteral("error no Convert button"));
        return;
    }
    convert->click();
}

QString RenderProcess() {
    QWidget* window = MainWindow();
    auto* banner = window != nullptr
                       ? window->findChild<QWebEngineView*>(QStringLiteral("CppWebBrowser1"))
                       : nullptr;
    if (banner == nullptr) {
        return QStringLiteral("0 none");
    }
    return QStringLiteral("%1 %2")
        .arg(banner->page()->renderProcessPid())
        .arg(banner->page()->url().scheme());
}

class Driver : public QObject {
  public:
    explicit Driver(QObject* parent)
        : QObject(parent), input_(STDIN_FILENO, QSocketNotifier::Read) {
        connect(&input_, &QSocketNotifier::activated, this, &Driver::ReadCommand);
        connect(&watch_, &QTimer::timeout, this, &Driver::Look);
        watch_.start(100);
    }

  private:
    void Look() {
        QWidget* window = MainWindow();
        if (!shown_ && window != nullptr && window->isVisible()) {
            shown_ = true;
            Tell(QStringLiteral("shown ") + (window->layoutDirection() == Qt::LeftToRight
                                                 ? QStringLiteral("LeftToRight")
                                                 : QStringLiteral("RightToLeft")));
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box != nullptr && box->isVisible()) {
                Tell(QStringLiteral("box ") + box->text());
                box->accept();
            }
        }
    }

    void ReadCommand() {
        char buffer[4096];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input_.setEnabled(false);
            return;
        }
        pending_ += QString::fromLocal8Bit(buffer, static_cast<int>(n));
        while (pending_.contains(QLatin1Char('\n'))) {
            const qsizetype end = pending_.indexOf(QLatin1Char('\n'));
            const QString line = pending_.left(end);
            pending_.remove(0, end + 1);
            if (line == QLatin1String("renderer")) {
                Tell(QStringLiteral("renderer %1").arg(RenderProcess()));
            } else if (line.startsWith(QLatin1String("convert "))) {
                // Out of this handler: the batch runs its own modal loop.
                const QString file = line.mid(8);
                QTimer::singleShot(0, [file] { Convert(file); });
            }
        }
    }

    QSocketNotifier input_;
    QTimer watch_;
    QString pending_;
    bool shown_ = false;
};

// The program's own helper processes are not to be driven.
[[maybe_unused]] const bool preloadDropped = unsetenv("LD_PRELOAD") == 0;

void StartDriver() {
    // Once the application object is complete and its loop runs.
    QTimer::singleShot(0, [] {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
            new Driver(QCoreApplication::instance());
        }
    });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)
