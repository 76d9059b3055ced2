// SPDX-License-Identifier: GPL-3.0-or-later
// The Convert command in the running windows, with the real encoder libraries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "BoxRecorder.h"
#include "FileDialogs.h"
#include "Formmain.h"
#include "Formoptions.h"
#include "Formprocess.h"
#include "MediaProbe.h"
#include "MessageBox.h"
#include "ProgramDir.h"
#include "TestWave.h"
#include "WaveWriter.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const char* const kComplete = "Information|Conversion complete.";

// Waits, serving events, until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// An output file that a cancelled worker is still finishing is done once it stops growing.
bool SettledFile(const std::string& path) {
    std::error_code error;
    auto last = fs::file_size(path, error);
    return WaitFor([&] {
        QTimer::singleShot(0, [] {});
        QApplication::processEvents(QEventLoop::AllEvents, 300);
        std::error_code e;
        const auto now = fs::file_size(path, e);
        const bool stable = !e && now == last && now > 0;
        last = now;
        return stable;
    });
}

class ShowWatch : public QObject {
  public:
    explicit ShowWatch(bool& seen) : seen_(seen) {}
    bool eventFilter(QObject*, QEvent* event) override {
        seen_ = seen_ || event->type() == QEvent::Show;
        return false;
    }

  private:
    bool& seen_;
};

class ConvertCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string built = platform::ProgramDir();
        for (const char* library : {"lame_enc.so", "vorbis.so", "wmaudsdk.so"}) {
            fs::copy_file(built + library, program_.File(library));
        }
        fs::create_directories(program_.File("SVLanguage"));
        fs::copy_file(built + "SVLanguage/English.ini", program_.File("SVLanguage/English.ini"));
        WriteFile(program_.File("Sonvert.ini"), "[General]\r\nLanguage=English.ini\r\nAd=0\r\n");
        platform::SetProgramDirForTesting(program_.Path());

        main_ = std::make_unique<TMainForm>();
        process_ = new TProcessForm(main_.get());
        options_ = new TOptionsForm(main_.get());
        main_->SetOtherForms({nullptr, process_, options_});
        main_->ApplyLanguagePack();
        main_->show();
    }
    void TearDown() override {
        main_.reset();
        platform::SetProgramDirForTesting("");
    }

    std::string Source(const std::string& name, uint32_t seconds) {
        const std::string path = sources_.File(name);
        EXPECT_TRUE(testwave::WriteTone(path, {1, 2, 44100, 16}, seconds * 44100));
        return path;
    }

    // Clicks Convert; `whileUp` runs every few milliseconds while the command has not returned.
    void Convert(const std::function<void()>& whileUp = {}) {
        // A short batch can end between two polls; the dialog's show event is never missed.
        ShowWatch watch(dialogSeen_);
        process_->installEventFilter(&watch);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (whileUp) {
                whileUp();
            }
        });
        poll.start(5);
        // A dialog that never closes would hang the test; this fails it instead.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            stuck_ = true;
            process_->reject();
        });
        guard.start(60000);
        main_->SpeedButtonConvert->click();
        EXPECT_FALSE(stuck_) << "the progress dialog never closed";
    }

    TempDir program_;
    TempDir sources_;
    BoxRecorder boxes_;
    std::unique_ptr<TMainForm> main_;
    TProcessForm* process_ = nullptr;
    TOptionsForm* options_ = nullptr;
    bool dialogSeen_ = false;
    bool stuck_ = false;
};

}  // namespace

TEST_F(ConvertCommand, EmptyListDoesNothing) {
    Convert();
    EXPECT_FALSE(dialogSeen_);
    EXPECT_FALSE(process_->Converting);
    EXPECT_TRUE(boxes_.Lines().empty());
}

TEST_F(ConvertCommand, OneFileConvertsAndTheCompletionMessageFollows) {
    const std::string source = Source("one.wav", 2);
    main_->WMDropFiles({source});
    Convert();
    EXPECT_TRUE(dialogSeen_);
    EXPECT_FALSE(process_->isVisible());
    EXPECT_EQ(boxes_.Lines(), std::vector<std::string>{kComplete});
    ASSERT_FALSE(boxes_.Boxes().empty());
    EXPECT_EQ(boxes_.Boxes().back().style, 0x1040u);
    EXPECT_EQ(boxes_.Boxes().back().kind, platform::BoxKind::Application);
    const auto facts = ProbeMedia(sources_.File("one.mp3"));
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->codec, "mp3");
    EXPECT_NEAR(facts->durationSeconds, 2.0, 0.2);
}

TEST_F(ConvertCommand, FormatOfTheOptionsDialog) {
    const std::string source = Source("f.wav", 1);
    main_->WMDropFiles({source});
    options_->RadioFormatOGG->setChecked(true);
    Convert();
    EXPECT_EQ(boxes_.Lines(), std::vector<std::string>{kComplete});
    const auto facts = ProbeMedia(sources_.File("f.ogg"));
    ASSERT_TRUE(facts.has_value());
    EXPECT_EQ(facts->codec, "vorbis");
}

// Names that are not UTF-8, chosen in the dialog (which gives lossy text) and dropped (a
// percent-escaped URL), are listed with U+FFFD and convert under their own bytes.
TEST_F(ConvertCommand, NamesThatAreNotUtf8KeepTheirBytes) {
    const std::string added = Source("caf\xE9.wav", 1);
    const std::string dropped = Source("d\xE9j\xE0.wav", 1);
    platform::SetOpenFilesDialogForTesting([&](QWidget*, const std::string&) {
        return std::optional(QStringList{QFile::decodeName(QByteArray::fromStdString(added))});
    });
    main_->SpeedButtonAdd->click();
    platform::SetOpenFilesDialogForTesting({});
    QMimeData data;
    data.setData("text/uri-list",
                 "file://" + QByteArray::fromStdString(dropped).toPercentEncoding("/"));
    QDropEvent drop(QPointF(10, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject*>(main_.get())->event(&drop);
    ASSERT_EQ(main_->ListView1->topLevelItemCount(), 2);
    EXPECT_EQ(main_->ListView1->topLevelItem(0)->text(0), QStringLiteral("caf\uFFFD.wav"));
    Convert();
    EXPECT_EQ(boxes_.Lines(), std::vector<std::string>{kComplete});
    EXPECT_TRUE(ProbeMedia(sources_.File("caf\xE9.mp3")).has_value());
    EXPECT_TRUE(ProbeMedia(sources_.File("d\xE9j\xE0.mp3")).has_value());
}

TEST_F(ConvertCommand, EveryFileFailingStillEndsWithTheCompletionMessage) {
    const std::string a = Source("a.wav", 1);
    const std::string b = Source("b.wav", 1);
    main_->WMDropFiles({a, b});
    fs::remove(a);
    fs::remove(b);
    Convert();
    EXPECT_EQ(boxes_.Lines(),
              (std::vector<std::string>{"Error|Could not open '" + a + "'",
                                        "Error|Could not open '" + b + "'", kComplete}));
}

// Cancel (the button or the close box) while the second of three files converts: no message, the
// second output is finished and kept, the third never starts.
TEST_F(ConvertCommand, CancelInTheMiddleOfABatch) {
    const std::vector<std::function<void(TProcessForm&)>> ways = {
        [](TProcessForm& form) { form.ButtonCancel->click(); },
        [](TProcessForm& form) { form.close(); },
    };
    for (std::size_t way = 0; way < ways.size(); ++way) {
        SCOPED_TRACE(way == 0 ? "Cancel button" : "close box");
        main_->SpeedButtonClear->click();
        boxes_.Clear();
        const std::string prefix = "w" + std::to_string(way);
        std::vector<std::string> files;
        for (int i = 0; i < 3; ++i) {
            files.push_back(Source(prefix + "_" + std::to_string(i) + ".wav", 30));
        }
        main_->WMDropFiles(files);
        bool cancelled = false;
        Convert([&] {
            if (!cancelled && process_->Label1->text().toStdString() == files[1] &&
                process_->ProgressBar1->value() >= 5) {
                cancelled = true;
                ways[way](*process_);
            }
        });
        EXPECT_TRUE(cancelled);
        EXPECT_TRUE(process_->Converting);
        const std::string second = sources_.File(prefix + "_1.mp3");
        ASSERT_TRUE(SettledFile(second));
        EXPECT_TRUE(boxes_.Lines().empty()) << "a cancelled batch shows nothing";
        const auto facts = ProbeMedia(second);
        ASSERT_TRUE(facts.has_value());
        EXPECT_GT(facts->durationSeconds, 0.5);
        EXPECT_LT(facts->durationSeconds, 29.0);
        EXPECT_FALSE(fs::exists(sources_.File(prefix + "_2.mp3")));
    }
}

// The late end of a cancelled batch must not close the dialog of the batch started after it.
TEST_F(ConvertCommand, ASecondBatchRightAfterACancelledOne) {
    const std::string longFile = Source("long.wav", 30);
    main_->WMDropFiles({longFile});
    Convert([&] {
        if (process_->isVisible() && process_->ProgressBar1->value() >= 1) {
            process_->ButtonCancel->click();
        }
    });
    EXPECT_TRUE(process_->Converting);
    main_->SpeedButtonClear->click();
    const std::string shortFile = Source("short.wav", 3);
    main_->WMDropFiles({shortFile});
    Convert();
    EXPECT_EQ(boxes_.Lines(), std::vector<std::string>{kComplete});
    EXPECT_TRUE(fs::exists(sources_.File("short.mp3")));
    EXPECT_FALSE(process_->Converting);
}

TEST_F(ConvertCommand, ABatchThatEndsBeforeTheDialogIsUp) {
    main_->WMDropFiles({Source("gone.wav", 1)});
    fs::remove(sources_.File("gone.wav"));
    Convert();
    EXPECT_EQ(boxes_.Lines().back(), kComplete);
    EXPECT_FALSE(process_->isVisible());
}

namespace {

std::vector<QMessageBox*> BoxesUp() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

}  // namespace

// A cancelled worker waits in its error box; Convert waits for it while serving events. What the
// user does meanwhile (Convert again, Clear, closing the window) must leave one consistent end.
TEST_F(ConvertCommand, WhileACancelledWorkersBoxIsUp) {
    platform::SetMessageSink({});  // real boxes; the worker's blocks only the worker
    const struct {
        const char* name;
        int presses;
        bool clear;
        bool close;
        bool newBatch;
    } cases[] = {
        {"Convert once", 1, false, false, true},
        {"Convert twice", 2, false, false, true},
        {"Clear", 1, true, false, false},
        {"window closed", 1, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        main_->show();
        main_->SpeedButtonClear->click();
        const std::string gone = Source(std::string("gone_") + c.name + ".wav", 1);
        const std::string missing = "Error|Could not open '" + gone + "'";
        main_->WMDropFiles({gone});
        fs::remove(gone);
        Convert([&] {
            if (process_->isVisible() && !BoxesUp().empty()) {
                process_->ButtonCancel->click();
            }
        });
        ASSERT_TRUE(process_->Converting);
        ASSERT_EQ(BoxesUp().size(), 1u);

        std::vector<std::string> seen;
        bool acted = false;
        bool dialogAgain = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            dialogAgain = dialogAgain || process_->isVisible();
            if (!acted) {  // inside the wait of the press below
                acted = true;
                if (c.presses == 2) {
                    QTimer::singleShot(0, main_->SpeedButtonConvert, &QToolButton::click);
                }
                if (c.clear) {
                    main_->SpeedButtonClear->click();
                }
                if (c.close) {
                    main_->close();
                }
                return;
            }
            for (QMessageBox* box : BoxesUp()) {
                seen.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
                box->accept();
            }
        });
        poll.start(5);
        main_->SpeedButtonConvert->click();
        poll.stop();
        EXPECT_TRUE(acted);
        EXPECT_EQ(dialogAgain, c.newBatch);
        const std::vector<std::string> expected =
            c.newBatch ? std::vector<std::string>{missing, missing, kComplete}
                       : std::vector<std::string>{missing};
        EXPECT_EQ(seen, expected);
        EXPECT_FALSE(process_->isVisible());
    }
}
