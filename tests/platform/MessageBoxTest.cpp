// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "MessageBox.h"

TEST(StandardError, AppendsAFullStopAfterCharactersThatSortAfterIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"Unable to write to /x/Sonvert.ini", "Unable to write to /x/Sonvert.ini."},
        {"Done.", "Done."},
        {"Really!", "Really!"},  // '!' sorts before '.'
        {"'abc' is not a valid integer value", "'abc' is not a valid integer value."},
        {"ends in slash/", "ends in slash/."},
        {"", ""},
        {"value 7", "value 7."},
    };
    for (const auto& [message, shown] : cases) {
        EXPECT_EQ(platform::StandardErrorText(message), shown) << message;
    }
}

// A box raised on another thread is shown by the user-interface thread, with no owner window,
// and holds the calling thread until the user dismisses it.
TEST(MessageBox, FromAWorkerThreadBlocksOnlyTheWorker) {
    std::atomic<bool> returned{false};
    QString shownText;
    QString shownCaption;
    bool hadParent = true;
    bool onUiThread = false;

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box != nullptr && box->isVisible()) {
                shownText = box->text();
                shownCaption = box->windowTitle();
                hadParent = box->parentWidget() != nullptr;
                onUiThread = box->thread() == QApplication::instance()->thread();
                EXPECT_FALSE(returned.load()) << "the worker must wait for the user";
                box->accept();
            }
        }
    });
    poll.start(10);

    std::thread worker([&] {
        platform::ProcessMessages().MessageBox("Could not open 'x.wav'", "Error", platform::MbOk);
        returned = true;
    });
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (returned) {
            loop.quit();
        }
    });
    check.start(5);
    loop.exec();
    worker.join();

    EXPECT_TRUE(returned.load());
    EXPECT_EQ(shownText.toStdString(), "Could not open 'x.wav'");
    EXPECT_EQ(shownCaption.toStdString(), "Error");
    EXPECT_FALSE(hadParent);
    EXPECT_TRUE(onUiThread);
}

TEST(MessageBox, SinkReceivesKindCaptionAndStyle) {
    std::vector<platform::BoxRecord> seen;
    auto previous =
        platform::SetMessageSink([&](const platform::BoxRecord& b) { seen.push_back(b); });
    platform::ProcessMessages().MessageBox("a", "Cap", platform::MbOk);
    platform::ProcessMessages().ApplicationMessageBox(
        "b", "Msg", platform::MbIconInformation | platform::MbSystemModal);
    platform::ProcessMessages().ShowPlainMessage("c");
    platform::ShowStandardError("d");
    platform::SetMessageSink(previous);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].kind, platform::BoxKind::Platform);
    EXPECT_EQ(seen[1].style, 0x1040u);
    EXPECT_EQ(seen[2].caption, platform::ApplicationTitle());
    EXPECT_EQ(seen[3].text, "d.");
    EXPECT_EQ(seen[3].style, static_cast<unsigned>(platform::MbIconError));
}

// sonvert-batch runs several workers that raise boxes through one sink at the same time.
TEST(MessageBox, BoxesFromSeveralThreadsArriveWhole) {
    std::mutex mutex;
    std::vector<platform::BoxRecord> seen;
    auto previous = platform::SetMessageSink([&](const platform::BoxRecord& b) {
        std::lock_guard lock(mutex);
        seen.push_back(b);
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < 25; ++i) {
                const std::string text = std::to_string(t) + ":" + std::to_string(i);
                platform::ProcessMessages().MessageBox(text, "Error", platform::MbOk);
                platform::ProcessMessages().ShowPlainMessage(text);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    platform::SetMessageSink(previous);
    ASSERT_EQ(seen.size(), 200u);
    std::set<std::string> texts;
    for (const platform::BoxRecord& box : seen) {
        texts.insert(box.text);
        EXPECT_EQ(box.caption, box.kind == platform::BoxKind::Plain ? platform::ApplicationTitle()
                                                                    : std::string("Error"));
    }
    EXPECT_EQ(texts.size(), 100u);
}
