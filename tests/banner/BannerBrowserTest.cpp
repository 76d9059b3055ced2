// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Banner.h"
#include "CppWebBrowser.h"
#include "HomePage.h"
#include "MessageBox.h"
#include "TempFolder.h"
#include "UrlOpener.h"
#include "WebEngineWait.h"

namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& text) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

class BannerBrowserTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(programDir_.isValid() && tempDir_.isValid());
        platform::SetTempFolderForTesting(tempDir_.path().toStdString());
        // The user's run-time folder, private as the session manager makes it.
        previousRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", tempDir_.path().toLocal8Bit());
        previousSink_ = platform::SetMessageSink(
            [this](const platform::BoxRecord& box) { boxes_.push_back(box); });
        previousOpener_ =
            platform::SetUrlOpener([this](const std::string& url) { urls_.push_back(url); });
        window_.resize(700, 469);
        browser_ = new TCppWebBrowser(&window_);
        browser_->setGeometry(443, 0, 257, 65);
        QObject::connect(browser_, &TCppWebBrowser::DocumentComplete,
                         [this](QObject* sender) { completed_.push_back(sender); });
        window_.show();
    }

    void TearDown() override {
        platform::SetTempFolderForTesting("");
        qputenv("XDG_RUNTIME_DIR", previousRuntime_);
        platform::SetMessageSink(previousSink_);
        platform::SetUrlOpener(previousOpener_);
    }

    std::string ProgramDir() const { return programDir_.path().toStdString() + "/"; }
    std::string MoviePath() const { return tempDir_.path().toStdString() + "/_SonvertAd.swf"; }

    QVariant Script(const QString& script) { return RunScript(browser_->page(), script); }

    bool WaitForBannerPage() {
        return WaitFor([this] {
            return browser_->page()->url().scheme() == QLatin1String("sonvert") &&
                   !browser_->Busy();
        });
    }

    QTemporaryDir programDir_;
    QTemporaryDir tempDir_;
    QByteArray previousRuntime_;
    platform::MessageSink previousSink_;
    platform::UrlOpener previousOpener_;
    std::vector<platform::BoxRecord> boxes_;
    std::vector<std::string> urls_;
    std::vector<QObject*> completed_;
    QWidget window_;
    TCppWebBrowser* browser_ = nullptr;
};

struct AdCase {
    const char* name;
    std::optional<std::string> ini;  // nullopt: no settings file at all
    bool on;
};

class BannerSetUpTest : public BannerBrowserTest, public testing::WithParamInterface<AdCase> {};

TEST_P(BannerSetUpTest, WritesAndLoadsTheMovieUnlessSwitchedOff) {
    const AdCase& c = GetParam();
    if (c.ini) {
        WriteFile(ProgramDir() + "Sonvert.ini", *c.ini);
    }
    const std::string movie = banner::SetUp(&window_, browser_, ProgramDir());

    if (!c.on) {
        EXPECT_EQ(movie, "");
        EXPECT_FALSE(browser_->isVisibleTo(&window_));
        EXPECT_EQ(browser_->x(), window_.width() + 100);
        EXPECT_TRUE(fs::is_empty(tempDir_.path().toStdString()));
        Pump(300);
        EXPECT_TRUE(completed_.empty());
        return;
    }
    EXPECT_EQ(movie, MoviePath());
    EXPECT_TRUE(browser_->isVisibleTo(&window_));
    QFile written(QString::fromStdString(MoviePath()));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), banner::MovieResource());
    ASSERT_TRUE(WaitForBannerPage());
    // "about:blank" first, then the banner page.
    EXPECT_GE(completed_.size(), 2u);
    EXPECT_TRUE(boxes_.empty());

    // Both names of the movie in the loaded page are its full temporary path, whether or not the
    // player has replaced the embed element yet.
    const QString moviePath = QString::fromStdString(MoviePath());
    EXPECT_EQ(Script("document.querySelector('#V1 param[name=movie]').value").toString(),
              moviePath);
    EXPECT_EQ(Script("document.querySelector('#V1 embed, #V1 ruffle-embed').getAttribute('src')")
                  .toString(),
              moviePath);

    banner::CleanUp(movie);
    EXPECT_FALSE(fs::exists(MoviePath()));
}

INSTANTIATE_TEST_SUITE_P(
    AdValues, BannerSetUpTest,
    testing::Values(AdCase{"Zero", "[General]\r\nAd=0\r\n", false},
                    AdCase{"ZeroWithBlanks", "[general]\r\nAD =  0  \r\n", false},
                    AdCase{"DoubleZero", "[General]\r\nAd=00\r\n", true},
                    AdCase{"False", "[General]\r\nAd=false\r\n", true},
                    AdCase{"Empty", "[General]\r\nAd=\r\n", true},
                    AdCase{"NoKey", "[General]\r\nLanguage=English.ini\r\n", true},
                    AdCase{"NoFile", std::nullopt, true}),
    [](const testing::TestParamInfo<AdCase>& p) { return std::string(p.param.name); });

TEST_F(BannerBrowserTest, WithoutAFolderOfTheUsersOwnTheBannerStaysBlank) {
    // No run-time folder, and the temporary folder holds no room for one.
    qunsetenv("XDG_RUNTIME_DIR");
    const std::string folder = tempDir_.path().toStdString() + "/missing";
    platform::SetTempFolderForTesting(folder);
    const std::string movie = banner::SetUp(&window_, browser_, ProgramDir());

    EXPECT_EQ(movie, "");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, platform::BoxKind::StandardError);
    EXPECT_NE(boxes_[0].text.find(folder), std::string::npos) << boxes_[0].text;
    EXPECT_TRUE(browser_->isVisibleTo(&window_));
    Pump(1000);
    EXPECT_FALSE(browser_->HasDocument());
    EXPECT_FALSE(browser_->Busy());
    EXPECT_TRUE(completed_.empty());
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(BannerBrowserTest, AKilledRenderProcessLeavesTheBannerBlankAndQuiet) {
    const std::string movie = banner::SetUp(&window_, browser_, ProgramDir());
    ASSERT_TRUE(WaitForBannerPage());
    const qint64 renderer = browser_->page()->renderProcessPid();
    ASSERT_GT(renderer, 0);
    ASSERT_EQ(kill(static_cast<pid_t>(renderer), SIGKILL), 0);
    ASSERT_TRUE(WaitFor([&] { return !browser_->HasDocument(); }, 60000));

    EXPECT_FALSE(browser_->Busy());
    // What the engine painted is gone; the banner's own area stays in its place.
    for (QWidget* child : browser_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_FALSE(child->isVisibleTo(browser_)) << child->metaObject()->className();
    }
    EXPECT_TRUE(browser_->isVisibleTo(&window_));
    Pump(2000);
    EXPECT_EQ(browser_->page()->renderProcessPid(), 0) << "nothing starts the page again";
    EXPECT_TRUE(boxes_.empty());
    // Later calls are harmless.
    browser_->SetBodyStyle("border", "none");
    Pump(300);
    banner::CleanUp(movie);
    EXPECT_FALSE(fs::exists(movie));
}

TEST_F(BannerBrowserTest, NothingFromOutsideReachesThePage) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        ++connections;
        delete server.nextPendingConnection();
    });
    const QString address = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    browser_->LoadFromStream(QStringLiteral("<html><body><img src=\"%1a.png\">"
                                            "<script src=\"%1b.js\"></script>"
                                            "<script>fetch('%1c').catch(function () {});</script>"
                                            "</body></html>")
                                 .arg(address)
                                 .toUtf8());
    ASSERT_TRUE(WaitFor([this] { return browser_->HasDocument() && !browser_->Busy(); }));
    Pump(1500);
    EXPECT_EQ(connections, 0);
}

TEST_F(BannerBrowserTest, TheMoviePlaysAndItsClickReachesTheDefaultBrowser) {
    const std::string movie = banner::SetUp(&window_, browser_, ProgramDir());
    ASSERT_TRUE(WaitForBannerPage());
    // The player reports the movie it has loaded.
    const QString metadata = QStringLiteral(
        "(function () { var p = document.querySelector('ruffle-embed, ruffle-object');"
        " if (!p) return ''; var m = p.ruffle ? p.ruffle().metadata : p.metadata;"
        " return m ? [m.width, m.height, m.frameRate, m.swfVersion].join(' ') : ''; })()");
    QString loaded;
    ASSERT_TRUE(WaitFor(
        [&] {
            loaded = Script(metadata).toString();
            return !loaded.isEmpty();
        },
        60000));
    EXPECT_EQ(loaded, "257 65 12 7");

    // A real click on the view, as the user gives it.
    QWidget* surface = browser_->focusProxy();
    ASSERT_NE(surface, nullptr);
    // The button exists once the player has shown the first frame; until then a click is lost.
    for (int attempt = 0; attempt < 20 && urls_.empty(); ++attempt) {
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(128, 32));
        WaitFor([this] { return !urls_.empty(); }, 1000);
    }
    ASSERT_FALSE(urls_.empty());
    EXPECT_EQ(urls_[0], HomePage);
    // The banner itself stays where it was.
    EXPECT_EQ(browser_->page()->url().scheme(), QLatin1String("sonvert"));
    banner::CleanUp(movie);
}

struct LeaveCase {
    const char* name;
    const char* script;
    const char* url;
};

class BannerLinkTest : public BannerBrowserTest, public testing::WithParamInterface<LeaveCase> {};

TEST_P(BannerLinkTest, PagesThatLeaveOpenTheDefaultBrowserInstead) {
    browser_->LoadFromStream("<html><body>banner</body></html>");
    ASSERT_TRUE(WaitForBannerPage());
    Script(QString::fromUtf8(GetParam().script));
    ASSERT_TRUE(WaitFor([this] { return !urls_.empty(); }, 15000));
    EXPECT_EQ(urls_, std::vector<std::string>{GetParam().url});
    Pump(300);
    EXPECT_EQ(browser_->page()->url().scheme(), QLatin1String("sonvert"));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, BannerLinkTest,
    testing::Values(LeaveCase{"NewWindow", "window.open('http://example.invalid/a', '_blank')",
                              "http://example.invalid/a"},
                    LeaveCase{"SameWindow", "location.href = 'https://example.invalid/b'",
                              "https://example.invalid/b"}),
    [](const testing::TestParamInfo<LeaveCase>& p) { return std::string(p.param.name); });

TEST_F(BannerBrowserTest, SetsTheBodyStyleOfTheLoadedDocument) {
    browser_->LoadFromStream("<html><body style=\"border: 3px solid red\">x</body></html>");
    ASSERT_TRUE(WaitForBannerPage());
    browser_->SetBodyStyle("border", "none");
    EXPECT_EQ(Script("document.body.style.borderStyle").toString(), "none");
}

}  // namespace
