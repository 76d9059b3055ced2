#include "MessageBox.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex sinkMutex;
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}

void ShowWidgetBox(const BoxRecord& box) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (box.style & MbIconError) {
        icon = QMessageBox::Critical;
    } else if (box.style & MbIconInformation) {
        icon = QMessageBox::Information;
    }
    QString caption = QString::fromUtf8(box.caption);
    if (box.kind == BoxKind::Plain || box.kind == BoxKind::StandardError) {
        caption = QString::fromUtf8(ApplicationTitle());
    }
    // Boxes have no owner window: a box raised for the worker must not be tied to the progress
    // dialog, which stays usable while the box is up.
    QMessageBox messageBox(icon, caption, QString::fromUtf8(box.text), QMessageBox::Ok);
    if (box.style & MbSystemModal) {
        messageBox.setWindowModality(Qt::ApplicationModal);
    }
    messageBox.exec();
}

void DefaultSink(const BoxRecord& box) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        const std::string caption = box.kind == BoxKind::Plain || box.kind == BoxKind::StandardError
                                        ? ApplicationTitle()
                                        : box.caption;
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), box.text.c_str());
        return;
    }
    if (QThread::currentThread() == app->thread()) {
        ShowWidgetBox(box);
    } else {
        QMetaObject::invokeMethod(
            app, [&box] { ShowWidgetBox(box); }, Qt::BlockingQueuedConnection);
    }
}

void Show(BoxRecord box) {
    MessageSink sink;
    {
        std::lock_guard lock(sinkMutex);
        sink = Sink();
    }
    if (sink) {
        sink(box);
    } else {
        DefaultSink(box);
    }
}

}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
    std::lock_guard lock(sinkMutex);
    return std::exchange(Sink(), std::move(sink));
}

void MessageBox(const std::string& text, const std::string& caption, unsigned style) {
    Show({BoxKind::Platform, text, caption, style});
}

void ApplicationMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    Show({BoxKind::Application, text, caption, style});
}

void ShowPlainMessage(const std::string& text) {
    Show({BoxKind::Plain, text, ApplicationTitle(), MbOk});
}

void ShowStandardError(const std::string& message) {
    Show({BoxKind::StandardError, StandardErrorText(message), ApplicationTitle(), MbIconError});
}

std::string StandardErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

std::string ApplicationTitle() {
    if (QCoreApplication::instance() == nullptr) {
        return "sonvert";
    }
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

}  // namespace platform
