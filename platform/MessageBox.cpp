// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {
namespace {

std::mutex sinkMutex;
BoxPresenter installedPresenter;  // under sinkMutex
std::mutex titleMutex;
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}

void Show(const BoxRecord& box) {
    MessageSink sink;
    BoxPresenter present;
    {
        std::lock_guard lock(sinkMutex);
        sink = Sink();
        present = installedPresenter;
    }
    if (sink) {
        sink(box);
    } else if (!present || !present(box)) {
        std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    }
}

class SinkTarget final : public MessageTarget {
  public:
    void Show(const BoxRecord& box) override { platform::Show(box); }
};

}  // namespace

void MessageTarget::ShowPlainMessage(const std::string& text) {
    Show({BoxKind::Plain, text, ApplicationTitle(), MbOk});
}

MessageTarget& ProcessMessages() {
    static SinkTarget target;
    return target;
}

MessageSink SetMessageSink(MessageSink sink) {
    std::lock_guard lock(sinkMutex);
    return std::exchange(Sink(), std::move(sink));
}

void SetBoxPresenter(BoxPresenter presenter) {
    std::lock_guard lock(sinkMutex);
    installedPresenter = std::move(presenter);
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
    // The toolkit fills its cache of the executable's path on first use without a lock, and
    // several workers may raise boxes at once.
    std::lock_guard lock(titleMutex);
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

}  // namespace platform
