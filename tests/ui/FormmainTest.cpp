// SPDX-License-Identifier: GPL-3.0-or-later
#include "Formmain.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "IniFile.h"
#include "Languageapply.h"
#include "Languagetable.h"
#include "Packtext.h"
#include "UiTestSupport.h"

namespace {

using uitest::UiTest;

class FormmainTest : public testing::Test, public UiTest {
  protected:
    void SetUp() override {
        WritePack("English.ini", uitest::TestPack());
        WriteSettings("[General]\r\nLanguage=English.ini\r\n");
    }
    // A WAVE file in a folder of its own under the program folder.
    std::string Wave(const std::string& name, uint16_t channels = 2, uint32_t rate = 44100,
                     uint32_t dataSize = 176400, const std::string& folder = "in") {
        QDir().mkpath(QString::fromStdString(Dir() + folder));
        const std::string path = Dir() + folder + "/" + name;
        uitest::WriteWave(path, channels, rate, 16, dataSize);
        return path;
    }
};

TEST_F(FormmainTest, AddListsAcceptedFilesInOrderAndReportsEachRejectedOne) {
    Start();
    const std::string first = Wave("first.wav", 2);
    const std::string second = Dir() + "in/second.wav";
    testing_support::WriteFile(second, "this is text, not a wave file");
    const std::string third = Wave("third.wav", 1);
    ClearBoxes();

    Add(std::vector<std::string>{first, second, third});

    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].text, "This is not a valid Wave file.");
    EXPECT_EQ(Boxes()[1].text, "Not a supported wave file.");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), "first.wav");
    EXPECT_EQ(Cell(0, 3), "Stereo");
    EXPECT_EQ(Cell(1, 0), "third.wav");
    EXPECT_EQ(Cell(1, 3), "Mono");
    EXPECT_EQ((Cell(1, 1) + Cell(1, 0)).toStdString(), third);
    EXPECT_EQ(Panel(0), "2 Files");
    // The pack has no filter, so the dialog has none either.
    EXPECT_EQ(lastFilter, "");
}

TEST_F(FormmainTest, RowTextsGiveRateSizeAndTime) {
    struct Case {
        uint16_t channels;
        uint32_t rate;
        uint32_t dataSize;
        const char* rateText;
        const char* sizeText;
        const char* timeText;
    };
    // 8000 Hz mono 16-bit: 16000 bytes a second.
    const Case cases[] = {
        {1, 8000, 0, "8000Hz", "1 kB", "00:00"},
        {1, 8000, 1023 - 44, "8000Hz", "1 kB", "00:00"},
        {1, 8000, 1024 - 44, "8000Hz", "1 kB", "00:00"},
        {1, 8000, 2047 - 44, "8000Hz", "1 kB", "00:00"},
        {1, 8000, 2048 - 44, "8000Hz", "2 kB", "00:00"},
        {1, 8000, 5 * 16000, "8000Hz", "78 kB", "00:05"},
        {1, 8000, 59 * 16000 + 15999, "8000Hz", "937 kB", "00:59"},
        {1, 8000, 61 * 16000, "8000Hz", "953 kB", "01:01"},
        {1, 8000, 3599 * 16000, "8000Hz", "56234 kB", "59:59"},
        {1, 8000, 3600 * 16000, "8000Hz", "56250 kB", "1:00:00"},
        {1, 8000, 36061 * 16000, "8000Hz", "563453 kB", "10:01:01"},
        {1, 1000, 100000 * 2000, "1000Hz", "195312 kB", "27:46:40"},
        {2, 44100, 176400, "44100Hz", "172 kB", "00:01"},
    };
    Start();
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        paths.push_back(Wave("w" + std::to_string(i) + ".wav", cases[i].channels, cases[i].rate,
                             cases[i].dataSize));
    }
    Add(paths);
    ASSERT_EQ(Rows(), static_cast<int>(std::size(cases)));
    EXPECT_TRUE(Boxes().empty());
    for (int i = 0; i < Rows(); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(Cell(i, 1).toStdString(), Dir() + "in/") << i;
        EXPECT_EQ(Cell(i, 2), c.rateText) << i;
        EXPECT_EQ(Cell(i, 4), c.sizeText) << i;
        EXPECT_EQ(Cell(i, 5), c.timeText) << i;
        EXPECT_FALSE(main->ListView1->topLevelItem(i)->icon(0).isNull()) << i;
    }
}

TEST_F(FormmainTest, SameFileTwiceGivesTwoRowsAndSixChannelsCountAsStereo) {
    Start();
    const std::string six = Wave("six.wav", 6);
    Add(std::vector<std::string>{six, six});
    ASSERT_EQ(Rows(), 2);
    for (int column = 0; column < 6; ++column) {
        EXPECT_EQ(Cell(0, column), Cell(1, column)) << column;
    }
    EXPECT_EQ(Cell(0, 3), "Stereo");
    EXPECT_EQ(main->ImageList1.size(), 2);
}

TEST_F(FormmainTest, AddTakesChannelTextsFromThePackAndDropTakesTheLiteralOnes) {
    const auto pack = uitest::Replaced(uitest::Without(uitest::TestPack(), "ListView", "Mono"),
                                       "ListView", "Stereo", "Zweikanal");
    WritePack("English.ini", pack);
    Start();
    const std::string mono = Wave("mono.wav", 1);
    const std::string stereo = Wave("stereo.wav", 2);

    Add(std::vector<std::string>{mono, stereo});
    Drop({mono, stereo});

    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(Cell(0, 3), "");
    EXPECT_EQ(Cell(1, 3), "Zweikanal");
    EXPECT_EQ(Cell(2, 3), "Mono");
    EXPECT_EQ(Cell(3, 3), "Stereo");
    EXPECT_EQ(Panel(0), "4 Files");
}

TEST_F(FormmainTest, RejectedDropsShowOnlyTheProbesMessage) {
    Start();
    const std::string wave = Wave("ok.wav", 2);
    const std::string text = Dir() + "in/notes.wav";
    testing_support::WriteFile(text, "RIFF but nothing more");
    ClearBoxes();

    Drop({Dir() + "in", text, wave});

    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, 0), "ok.wav");
    ASSERT_EQ(Boxes().size(), 2u);
    for (const auto& box : Boxes()) {
        EXPECT_NE(box.text, "Not a supported wave file.");
    }
    EXPECT_EQ(Panel(0), "1 Files");
}

TEST_F(FormmainTest, CancelledOpenDialogChangesNothing) {
    Start();
    main->StatusBar1->SetPanelText(0, "untouched");
    Add(std::nullopt);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Panel(0), "untouched");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(FormmainTest, RemoveTakesTheSelectedRowAndClearTakesAll) {
    Start();
    Add(std::vector<std::string>{Wave("a.wav", 2, 44100, 100, "a"),
                                 Wave("b.wav", 2, 44100, 100, "b"),
                                 Wave("c.wav", 2, 44100, 100, "c")});
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Panel(2).toStdString(), Dir() + "a/");

    ClickRow(1);
    EXPECT_EQ(Panel(2).toStdString(), Dir() + "b/");
    QTest::mouseClick(main->SpeedButtonRemove, Qt::LeftButton);
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), "a.wav");
    EXPECT_EQ(Cell(1, 0), "c.wav");
    EXPECT_EQ(Panel(0), "2 Files");
    EXPECT_EQ(Panel(2).toStdString(), Dir() + "a/");

    // Nothing selected: nothing removed, the panels are written all the same.
    main->ListView1->clearSelection();
    main->StatusBar1->SetPanelText(0, "stale");
    QTest::mouseClick(main->SpeedButtonRemove, Qt::LeftButton);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Panel(0), "2 Files");

    ClickRow(1);
    EXPECT_EQ(Panel(2).toStdString(), Dir() + "c/");
    QTest::mouseClick(main->SpeedButtonClear, Qt::LeftButton);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Panel(0), "0 Files");
    EXPECT_EQ(Panel(2), "");

    // Later rows still get icons of their own.
    Add(std::vector<std::string>{Wave("d.wav")});
    EXPECT_EQ(main->ImageList1.size(), 4);
}

TEST(FormmainStatusBarTest, FollowsFormatAndOutputFolderMode) {
    struct Case {
        const char* name;
        std::function<void(TOptionsForm*)> set;
        int rows;
        int clickRow;  // -1: no click
        const char* panel1;
        std::string panel2;  // "<dir>" stands for the folder of that row
    };
    const Case cases[] = {
        {"beside source, empty list", [](TOptionsForm*) {}, 0, -1,
         "Output Format: MP3      Bitrate: 128kbps", ""},
        {"beside source, no selection", [](TOptionsForm*) {}, 2, -1,
         "Output Format: MP3      Bitrate: 128kbps", "r0/"},
        {"beside source, second row clicked", [](TOptionsForm*) {}, 2, 1,
         "Output Format: MP3      Bitrate: 128kbps", "r1/"},
        {"custom folder, empty list",
         [](TOptionsForm* o) {
             o->RadioCustomDir->setChecked(true);
             o->EditOutputDir->setText("/out/put");
         },
         0, -1, "Output Format: MP3      Bitrate: 128kbps", "/out/put"},
        {"custom folder, row clicked",
         [](TOptionsForm* o) {
             o->RadioCustomDir->setChecked(true);
             o->RadioFormatWMA->setChecked(true);
             o->ComboBoxWMABitrate->setCurrentIndex(5);
         },
         2, 1, "Output Format: WMA      Bitrate: 160kbps", "/"},
        {"ogg quality",
         [](TOptionsForm* o) {
             o->RadioFormatOGG->setChecked(true);
             o->ComboBoxOGGQuality->setCurrentIndex(9);
         },
         1, -1, "Output Format: OGG      Quality: 10  ~360kbps", "r0/"},
        {"list without selection: the built-in choice, as the worker takes it",
         [](TOptionsForm* o) { o->ComboBoxMP3Bitrate->setCurrentIndex(-1); }, 0, -1,
         "Output Format: MP3      Bitrate: 128kbps", ""},
    };
    for (const Case& c : cases) {
        UiTest ui;
        ui.WritePack("English.ini", uitest::TestPack());
        ui.WriteSettings("[General]\r\nLanguage=English.ini\r\n");
        ui.Start();
        c.set(ui.options);
        std::vector<std::string> paths;
        for (int i = 0; i < c.rows; ++i) {
            const std::string folder = ui.Dir() + "r" + std::to_string(i);
            QDir().mkpath(QString::fromStdString(folder));
            uitest::WriteWave(folder + "/x.wav", 2, 44100, 16, 100);
            paths.push_back(folder + "/x.wav");
        }
        ui.Add(paths);
        if (c.clickRow >= 0) {
            ui.ClickRow(c.clickRow);
        }
        EXPECT_EQ(ui.Panel(0), QString::number(c.rows) + " Files") << c.name;
        EXPECT_EQ(ui.Panel(1).toStdString(), c.panel1) << c.name;
        const std::string expected =
            c.panel2.empty() || c.panel2[0] == '/' ? c.panel2 : ui.Dir() + c.panel2;
        EXPECT_EQ(ui.Panel(2).toStdString(), expected) << c.name;
    }
}

TEST_F(FormmainTest, PackWithoutFilesWordLeavesCountAndBlank) {
    WritePack("English.ini", uitest::Without(uitest::TestPack(), "StatusBar", "Files"));
    Start();
    EXPECT_EQ(Panel(0), "0 ");
}

TEST_F(FormmainTest, FirstActivationChoosesThePackAndFillsTheStatusBar) {
    WriteSettings("");
    EXPECT_EQ(Panel(0), "");
    Start();
    // With no language stored, the choice is made from the user's language and written back.
    EXPECT_NE(Setting("General", "Language"), "<absent>");
    EXPECT_TRUE(Panel(0).startsWith("0 "));
    // Showing the window again does not run the first activation again.
    main->StatusBar1->SetPanelText(0, "kept");
    main->hide();
    main->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Panel(0), "kept");
}

TEST_F(FormmainTest, OuterWidthCannotGoBelowTheLimitButHeightIsFree) {
    struct Case {
        int width;
        int height;
        bool widthAccepted;
    };
    // Low heights too: the window clips its list rather than refusing them.
    const Case cases[] = {
        {500, 300, false}, {900, 200, true}, {900, 100, true}, {760, 40, true}, {600, 20, false},
    };
    Start();
    const int frame = main->frameGeometry().width() - main->width();
    for (const Case& c : cases) {
        main->resize(c.width, c.height);
        if (c.widthAccepted) {
            EXPECT_EQ(main->width(), c.width) << c.width << "x" << c.height;
        } else {
            EXPECT_GE(main->width() + std::max(frame, 8), TMainForm::MinimumOuterWidth)
                << c.width << "x" << c.height;
        }
        EXPECT_EQ(main->height(), c.height) << c.width << "x" << c.height;
    }
}

}  // namespace

namespace {

// What a control of the language table shows now.
QString ShownText(QWidget* window, const LanguageTableRow& row) {
    if (row.Target == LanguageTarget::WindowCaption) {
        return window->windowTitle();
    }
    QObject* control = window->findChild<QObject*>(QLatin1String(row.Control));
    if (control == nullptr) {
        return QStringLiteral("<missing>");
    }
    switch (row.Target) {
        case LanguageTarget::Caption:
            return qobject_cast<QAbstractButton*>(control)->text();
        case LanguageTarget::GroupTitle:
            return qobject_cast<QGroupBox*>(control)->title();
        case LanguageTarget::Hint:
            return qobject_cast<QWidget*>(control)->toolTip();
        case LanguageTarget::ColumnTitle:
            return qobject_cast<QTreeWidget*>(control)->headerItem()->text(row.Column);
        case LanguageTarget::Filter:
            return control->property("Filter").toString();
        case LanguageTarget::TabTitle: {
            auto* tabs = window->findChild<QTabWidget*>();
            return tabs->tabText(tabs->indexOf(qobject_cast<QWidget*>(control)));
        }
        case LanguageTarget::WindowCaption:
            break;
    }
    return {};
}

class FormmainPackTest : public testing::Test, public UiTest {
  protected:
    void SetUp() override {
        for (const char* pack : {"English.ini", "ChineseGB.ini"}) {
            QFile::copy(QStringLiteral(SONVERT_PACK_DIR) + pack,
                        QString::fromStdString(PackDir()) + pack);
        }
        WriteSettings("[General]\r\nLanguage=English.ini\r\n");
    }
    QWidget* WindowOf(const LanguageTableRow& row) {
        return row.Window == 'M'   ? static_cast<QWidget*>(main.get())
               : row.Window == 'O' ? options
                                   : nullptr;
    }
};

TEST_F(FormmainPackTest, ShippedEnglishPackReproducesTheBuiltInTexts) {
    int checked = 0;
    for (const LanguageTableRow& row : LanguageTable) {
        if (QWidget* window = WindowOf(row)) {
            EXPECT_EQ(ShownText(window, row), QLatin1String(row.BuiltIn)) << row.Control;
        }
    }
    Start();
    for (const LanguageTableRow& row : LanguageTable) {
        if (QWidget* window = WindowOf(row)) {
            EXPECT_EQ(ShownText(window, row), QLatin1String(row.BuiltIn)) << row.Control;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 21 + 18);
    Add(std::nullopt);
    EXPECT_EQ(lastFilter, "WAVE Files(*.wav) (*.wav);;All Files(*.*) (*)");
    EXPECT_EQ(main->font().family(), "Tahoma");
    EXPECT_EQ(options->font().pointSize(), 8);
    // Every control the table names is there, of the kind the pack needs.
    EXPECT_EQ(ApplyLanguagePackToWindows(nullptr, {main.get(), nullptr, nullptr, options}),
              std::vector<std::string>{});
}

TEST_F(FormmainPackTest, ChoosingAnotherPackChangesEveryTextButNotListedRows) {
    Start();
    QDir().mkpath(QString::fromStdString(Dir() + "in"));
    uitest::WriteWave(Dir() + "in/mono.wav", 1, 22050, 16, 44100);
    Add(std::vector<std::string>{Dir() + "in/mono.wav"});
    ASSERT_EQ(Cell(0, 3), "Mono");

    uitest::WhenShown(options, [&] {
        const int chinese = options->ComboBoxLanguage->findText(QStringLiteral("简体中文"));
        ASSERT_GE(chinese, 0);
        options->ComboBoxLanguage->setCurrentIndex(chinese);
        QTest::mouseClick(options->ButtonOk, Qt::LeftButton);
    });
    QTest::mouseClick(main->SpeedButtonOptions, Qt::LeftButton);

    EXPECT_EQ(Setting("General", "Language"), "ChineseGB.ini");
    const platform::IniFile pack(PackDir() + "ChineseGB.ini");
    for (const LanguageTableRow& row : LanguageTable) {
        if (QWidget* window = WindowOf(row)) {
            const QString shown = ShownText(window, row);
            EXPECT_NE(shown, QLatin1String(row.BuiltIn)) << row.Control;
            EXPECT_EQ(shown, DecodePackText(pack.ReadString(row.Section, row.Key, ""), 134))
                << row.Control;
        }
    }
    EXPECT_EQ(Cell(0, 3), "Mono");
    EXPECT_EQ(Panel(0), QStringLiteral("1 个文件"));
    EXPECT_EQ(Panel(1), QStringLiteral("输出格式: MP3      比特率: 128kbps"));
    EXPECT_EQ(main->font().pointSize(), 9);
    // The next Add takes the new pack's channel text.
    Add(std::vector<std::string>{Dir() + "in/mono.wav"});
    EXPECT_EQ(Cell(1, 3), QStringLiteral("单声道"));
}

}  // namespace
