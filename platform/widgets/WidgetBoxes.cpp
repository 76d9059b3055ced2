// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include "MessageBox.h"
#include "ThreadHandOff.h"

namespace platform {
namespace {

QMessageBox::Icon BoxIcon(unsigned style) {
    if (style & MbIconError) {
        return QMessageBox::Critical;
    }
    if (style & MbIconInformation) {
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

void ShowWidgetBox(const BoxRecord& box) {
    QMessageBox messageBox(BoxIcon(box.style), QString::fromUtf8(box.caption),
                           QString::fromUtf8(box.text), QMessageBox::Ok);
    messageBox.setTextFormat(Qt::PlainText);
    if (box.style & MbSystemModal) {
        messageBox.setWindowModality(Qt::ApplicationModal);
    }
    messageBox.exec();
}

// Holds a worker until its box is gone, or at the latest until the request to show it goes: one
// dropped unserved because the program is ending must not hold the worker for ever.
class BoxWait {
  public:
    void Release() {
        {
            std::lock_guard lock(mutex_);
            dismissed_ = true;
        }
        done_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return dismissed_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool dismissed_ = false;
};

// A worker's box runs no event loop of its own on the user-interface thread, so the modal loop of
// the progress dialog goes on and its Cancel stays usable while the box waits for the user.
void ShowWorkerBox(const BoxRecord& box, const std::shared_ptr<BoxWait>& wait,
                   const std::shared_ptr<void>& release) {
    auto* messageBox = new QMessageBox(BoxIcon(box.style), QString::fromUtf8(box.caption),
                                       QString::fromUtf8(box.text), QMessageBox::Ok);
    messageBox->setAttribute(Qt::WA_DeleteOnClose);
    messageBox->setTextFormat(Qt::PlainText);
    // Modal, or the modal progress dialog would block it; with no owner, it blocks no window.
    messageBox->setWindowModality((box.style & MbSystemModal) ? Qt::ApplicationModal
                                                              : Qt::WindowModal);
    QObject::connect(messageBox, &QDialog::finished, [wait, release] {
        static_cast<void>(release);  // held until the box is gone
        wait->Release();
    });
    messageBox->show();
}

bool ShowBox(const BoxRecord& box) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return false;
    }
    if (QThread::currentThread() == app->thread()) {
        ShowWidgetBox(box);
    } else {
        auto wait = std::make_shared<BoxWait>();
        // Its last copy lets the worker go, whether the box was shown or the request dropped.
        std::shared_ptr<void> release(nullptr, [wait](void*) { wait->Release(); });
        auto shown = std::make_shared<BoxRecord>(box);
        HandOffRelease(shown.get());
        QMetaObject::invokeMethod(
            app,
            [shown, release, wait] {
                HandOffAcquire(shown.get());
                ShowWorkerBox(*shown, wait, release);
            },
            Qt::QueuedConnection);
        release.reset();
        wait->Wait();
    }
    return true;
}

}  // namespace

void InstallWidgetBoxes() {
    SetBoxPresenter(ShowBox);
}

}  // namespace platform
