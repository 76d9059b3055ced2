// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

#include "Formprocess.h"
#include "MessageBox.h"

namespace {

// Lets queued reports arrive.
void Drain() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

QMessageBox* VisibleBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

}  // namespace

TEST(ProcessForm, DesignBoundsAndTexts) {
    TProcessForm form;
    EXPECT_EQ(form.objectName(), "ProcessForm");
    EXPECT_EQ(form.windowTitle(), "Processing");
    EXPECT_EQ(form.size(), QSize(359, 164));
    const std::pair<QWidget*, QRect> bounds[] = {
        {form.Label1, QRect(16, 16, 321, 13)},        {form.ProgressBar1, QRect(103, 48, 234, 17)},
        {form.ProgressBar2, QRect(103, 80, 234, 17)}, {form.Bevel1, QRect(8, 112, 343, 2)},
        {form.ButtonCancel, QRect(128, 128, 75, 25)},
    };
    for (const auto& [widget, rect] : bounds) {
        EXPECT_EQ(widget->geometry(), rect) << widget->objectName().toStdString();
    }
    EXPECT_EQ(form.Label1->text(), "Label1");
    EXPECT_EQ(form.Label2->text(), "Current process:");
    EXPECT_EQ(form.Label3->text(), "Total process:");
    EXPECT_EQ(form.ButtonCancel->text(), "Cancel");
    EXPECT_EQ(form.ProgressBar1->maximum(), 100);
    EXPECT_EQ(form.findChild<QPushButton*>("ButtonCancel"), form.ButtonCancel);
}

TEST(ProcessForm, ReportsArriveInOrderOnTheDialogsThread) {
    TProcessForm form;
    auto reporter = form.BeginBatch();
    EXPECT_TRUE(form.Converting);
    std::thread worker([&] {
        reporter->FileStarted("/music/a.wav");
        reporter->Progress(40, 20);
        reporter->Progress(40, 20);
        reporter->Progress(100, 50);
        reporter->FileStarted("/music/b.wav");
        reporter->Progress(30, 65);
    });
    worker.join();
    Drain();
    EXPECT_EQ(form.Label1->text(), "/music/b.wav");
    EXPECT_EQ(form.ProgressBar1->value(), 30);
    EXPECT_EQ(form.ProgressBar2->value(), 65);
    EXPECT_TRUE(form.Converting);
}

TEST(ProcessForm, EndOfABatchClosesItsDialogAndClearsConverting) {
    TProcessForm form;
    auto reporter = form.BeginBatch();
    bool convertingWhenClosed = true;
    QObject::connect(&form, &QDialog::finished, [&] { convertingWhenClosed = form.Converting; });
    QTimer::singleShot(20, [&] { reporter->BatchEnded(); });
    EXPECT_EQ(form.ShowModal(), QDialog::Rejected);
    EXPECT_FALSE(form.Converting);
    EXPECT_FALSE(convertingWhenClosed) << "Converting is cleared before the dialog closes";
    EXPECT_FALSE(form.isVisible());
}

// A batch shorter than the time the dialog takes to appear still ends it.
TEST(ProcessForm, EndBeforeTheModalLoopStartsIsNotLost) {
    TProcessForm form;
    auto reporter = form.BeginBatch();
    reporter->BatchEnded();
    Drain();
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        stuck = true;
        form.reject();
    });
    guard.start(2000);
    form.ShowModal();
    EXPECT_FALSE(stuck);
    EXPECT_FALSE(form.Converting);

    // Also when the end is still in the queue as the dialog opens.
    auto next = form.BeginBatch();
    next->BatchEnded();
    guard.start(2000);
    form.ShowModal();
    EXPECT_FALSE(stuck);
    EXPECT_FALSE(form.Converting);
}

TEST(ProcessForm, LateReportsOfACancelledBatchTouchNothingOfTheNextOne) {
    TProcessForm form;
    auto cancelled = form.BeginBatch();
    cancelled->FileStarted("/old.wav");
    Drain();
    auto current = form.BeginBatch();
    current->FileStarted("/new.wav");
    current->Progress(10, 5);
    cancelled->Progress(99, 99);
    cancelled->BatchEnded();
    bool closedEarly = false;
    QObject::connect(&form, &QDialog::finished, [&] { closedEarly = form.Converting; });
    QTimer::singleShot(100, [&] {
        EXPECT_TRUE(form.isVisible()) << "the old batch's end must not close this dialog";
        EXPECT_TRUE(form.Converting);
        EXPECT_EQ(form.Label1->text(), "/new.wav");
        EXPECT_EQ(form.ProgressBar1->value(), 10);
        current->BatchEnded();
    });
    form.ShowModal();
    EXPECT_FALSE(closedEarly);
    EXPECT_FALSE(form.Converting);
}

TEST(ProcessForm, CancelAndCloseBoxEndTheDialogEscapeDoesNot) {
    struct Case {
        const char* name;
        std::function<void(TProcessForm&)> act;
    };
    const Case cases[] = {
        {"cancel_button", [](TProcessForm& f) { f.ButtonCancel->click(); }},
        {"close_box", [](TProcessForm& f) { f.close(); }},
    };
    for (const Case& c : cases) {
        TProcessForm form;
        auto reporter = form.BeginBatch();
        QTimer::singleShot(20, [&] {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&form, &escape);
            EXPECT_TRUE(form.isVisible()) << c.name << ": Escape must not end the dialog";
            c.act(form);
        });
        EXPECT_EQ(form.ShowModal(), QDialog::Rejected) << c.name;
        EXPECT_TRUE(form.Converting) << c.name << ": the batch is still running";
    }
}

// A box the worker raises holds only the worker: the user can still cancel the batch while it is
// up, and the box then waits for the user with the dialog gone.
TEST(ProcessForm, CancelWorksWhileTheWorkerWaitsInAMessageBox) {
    struct Case {
        const char* name;
        std::function<void()> raise;
    };
    const Case cases[] = {
        {"platform box",
         [] {
             platform::ProcessMessages().MessageBox("Could not open '/a.wav'", "Error",
                                                    platform::MbOk);
         }},
        {"application box",
         [] {
             platform::ProcessMessages().ApplicationMessageBox("This is not a valid Wave file.",
                                                               "ERROR", platform::MbOk);
         }},
        {"plain message", [] { platform::ProcessMessages().ShowPlainMessage("Not PCM formats!"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TProcessForm form;
        auto reporter = form.BeginBatch();
        std::atomic<bool> returned{false};
        std::thread worker;
        QTimer::singleShot(20, [&] {
            worker = std::thread([&] {
                c.raise();
                returned = true;
            });
        });
        // Cancel is pressed as a user presses it, through the window system, which holds back
        // input to windows that a modal box blocks.
        bool pressed = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!pressed && form.isVisible() && VisibleBox() != nullptr) {
                pressed = true;
                QTest::mouseClick(form.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                                  form.ButtonCancel->geometry().center());
            }
        });
        poll.start(10);
        bool stuck = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            stuck = true;
            if (QMessageBox* box = VisibleBox()) {
                box->accept();
            }
            form.reject();
        });
        guard.start(3000);
        form.ShowModal();
        poll.stop();
        guard.stop();

        EXPECT_TRUE(pressed);
        EXPECT_FALSE(stuck) << "the box kept Cancel from ending the dialog";
        EXPECT_TRUE(form.Converting);
        EXPECT_FALSE(returned.load()) << "the worker must still wait for the user";
        if (QMessageBox* box = VisibleBox()) {
            box->accept();
        }
        QElapsedTimer clock;
        clock.start();
        while (!returned && clock.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_TRUE(returned.load());
        if (worker.joinable()) {
            worker.join();
        }
    }
}
