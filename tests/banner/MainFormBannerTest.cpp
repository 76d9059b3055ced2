// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Formmain.h"
#include "HomePage.h"
#include "MessageBox.h"
#include "ProgramDir.h"
#include "TempFolder.h"
#include "UrlOpener.h"
#include "WebEngineWait.h"

namespace {

namespace fs = std::filesystem;

// Counts the right-button presses that reach a window, after the program's own filter.
class PressCounter : public QObject {
  public:
    int presses = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            ++presses;
        }
        return false;
    }
};

class MainFormBannerTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(programDir_.isValid() && tempDir_.isValid());
        // The window reads its settings from a folder of its own; the player stays where the
        // build put it.
        const std::string realDir = platform::ProgramDir();
        fs::create_directory_symlink(realDir + "ruffle", ProgramDir() + "ruffle");
        platform::SetProgramDirForTesting(ProgramDir());
        platform::SetTempFolderForTesting(tempDir_.path().toStdString());
        // The user's run-time folder, private as the session manager makes it.
        previousRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", tempDir_.path().toLocal8Bit());
        previousSink_ = platform::SetMessageSink(
            [this](const platform::BoxRecord& box) { boxes_.push_back(box); });
        previousOpener_ =
            platform::SetUrlOpener([this](const std::string& url) { urls_.push_back(url); });
    }

    void TearDown() override {
        form_.reset();
        platform::SetProgramDirForTesting("");
        platform::SetTempFolderForTesting("");
        qputenv("XDG_RUNTIME_DIR", previousRuntime_);
        platform::SetMessageSink(previousSink_);
        platform::SetUrlOpener(previousOpener_);
    }

    std::string ProgramDir() const { return programDir_.path().toStdString() + "/"; }
    std::string MoviePath() const { return tempDir_.path().toStdString() + "/_SonvertAd.swf"; }

    void WriteSettings(const std::string& text) {
        QFile file(QString::fromStdString(ProgramDir() + "Sonvert.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }

    void CreateForm() {
        form_ = std::make_unique<TMainForm>();
        form_->move(0, 0);
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }

    QTemporaryDir programDir_;
    QTemporaryDir tempDir_;
    QByteArray previousRuntime_;
    platform::MessageSink previousSink_;
    platform::UrlOpener previousOpener_;
    std::vector<platform::BoxRecord> boxes_;
    std::vector<std::string> urls_;
    std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormBannerTest, TheMovieLivesAsLongAsTheWindow) {
    CreateForm();
    EXPECT_TRUE(form_->CppWebBrowser1->isVisibleTo(form_.get()));
    EXPECT_TRUE(fs::exists(MoviePath()));
    // Aligned to the panel's right edge.
    EXPECT_EQ(form_->CppWebBrowser1->geometry(), QRect(form_->Panel1->width() - 257, 0, 257, 65));
    form_.reset();
    EXPECT_FALSE(fs::exists(MoviePath()));
}

TEST_F(MainFormBannerTest, SwitchedOffTheBannerWritesNothing) {
    WriteSettings("[General]\r\nAd= 0 \r\n");
    CreateForm();
    EXPECT_FALSE(form_->CppWebBrowser1->isVisible());
    EXPECT_GE(form_->CppWebBrowser1->x(), form_->width());
    EXPECT_TRUE(fs::is_empty(tempDir_.path().toStdString()));
    form_.reset();
    EXPECT_TRUE(fs::is_empty(tempDir_.path().toStdString()));
}

TEST_F(MainFormBannerTest, TheUpdateButtonOpensTheHomePage) {
    WriteSettings("[General]\r\nAd=0\r\n");
    CreateForm();
    form_->SpeedButtonUpdate->click();
    EXPECT_EQ(urls_, std::vector<std::string>{HomePage});
}

TEST_F(MainFormBannerTest, EveryCompletedDocumentOfTheBrowserLosesItsBorder) {
    WriteSettings("[General]\r\nAd=0\r\n");
    CreateForm();
    TCppWebBrowser* browser = form_->CppWebBrowser1;
    browser->LoadFromStream("<html><body style=\"border: 3px solid red\">x</body></html>");
    const auto borderStyle = [browser] {
        return RunScript(browser->page(), "document.body ? document.body.style.borderStyle : ''")
            .toString();
    };
    ASSERT_TRUE(WaitFor([&] { return borderStyle() == "none"; }, 30000));

    // Word from any other sender is ignored.
    browser->SetBodyStyle("border", "3px solid red");
    ASSERT_TRUE(WaitFor([&] { return borderStyle() == "solid"; }, 10000));
    QObject other;
    form_->CppWebBrowser1DocumentComplete(&other);
    Pump(300);
    EXPECT_EQ(borderStyle(), "solid");
}

struct PressCase {
    const char* name;
    int dx;  // from the browser's top-left corner, in the main window
    int dy;
    bool delivered;
};

class MainFormRightClickTest : public MainFormBannerTest,
                               public testing::WithParamInterface<PressCase> {};

TEST_P(MainFormRightClickTest, OnlyRightPressesStrictlyInsideTheBannerAreKeptBack) {
    WriteSettings("[General]\r\nAd=0\r\n");  // the filter works on the bounds, shown or not
    CreateForm();
    // Keep the browser where the banner would be, so its bounds are inside the window.
    form_->CppWebBrowser1->move(form_->Panel1->width() - 257, 0);
    const QPoint corner = form_->CppWebBrowser1->mapTo(form_.get(), QPoint(0, 0));
    ASSERT_GT(corner.x(), 300);
    ASSERT_EQ(corner.y(), 0);

    const PressCase& c = GetParam();
    QWindow* window = form_->windowHandle();
    PressCounter counter;
    window->installEventFilter(&counter);
    const QPoint at = corner + QPoint(c.dx, c.dy);
    QTest::mousePress(window, Qt::RightButton, {}, at);
    QTest::mouseRelease(window, Qt::RightButton, {}, at);
    window->removeEventFilter(&counter);
    EXPECT_EQ(counter.presses, c.delivered ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Points, MainFormRightClickTest,
    testing::Values(PressCase{"OnePixelInside", 1, 1, false}, PressCase{"Middle", 128, 32, false},
                    PressCase{"LeftColumn", 0, 30, true}, PressCase{"TopRow", 100, 0, true},
                    PressCase{"LeftOfTheBanner", -1, 30, true},
                    PressCase{"InTheList", -300, 200, true}),
    [](const testing::TestParamInfo<PressCase>& p) { return std::string(p.param.name); });

TEST_F(MainFormBannerTest, ARightPressInAnotherWindowOverTheBannerIsKeptBackToo) {
    WriteSettings("[General]\r\nAd=0\r\n");
    CreateForm();
    form_->CppWebBrowser1->move(form_->Panel1->width() - 257, 0);
    const QPoint bannerOnScreen = form_->CppWebBrowser1->mapToGlobal(QPoint(0, 0));

    QWidget other;
    other.setGeometry(QRect(bannerOnScreen + QPoint(-50, -20), QSize(200, 150)));
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    PressCounter counter;
    other.windowHandle()->installEventFilter(&counter);
    const auto pressAt = [&](QPoint screen) {
        const QPoint local = other.mapFromGlobal(screen);
        QTest::mousePress(other.windowHandle(), Qt::RightButton, {}, local);
        QTest::mouseRelease(other.windowHandle(), Qt::RightButton, {}, local);
    };
    pressAt(bannerOnScreen + QPoint(10, 10));
    EXPECT_EQ(counter.presses, 0);
    pressAt(bannerOnScreen + QPoint(-10, 10));
    EXPECT_EQ(counter.presses, 1);
    other.windowHandle()->removeEventFilter(&counter);
}

}  // namespace
