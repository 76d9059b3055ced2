// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <QVariant>
#include <QWebEnginePage>

#include <functional>
#include <memory>
#include <optional>

// The web engine answers through the event loop; these keep it turning until an answer is there.
inline bool WaitFor(const std::function<bool()>& done, int milliseconds = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

inline void Pump(int milliseconds) {
    WaitFor([] { return false; }, milliseconds);
}

// The value of a script run in the page, or an invalid value when none came in time.
inline QVariant RunScript(QWebEnginePage* page, const QString& script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant& value) { *result = value; });
    WaitFor([&] { return result->has_value(); }, 10000);
    return result->value_or(QVariant());
}
