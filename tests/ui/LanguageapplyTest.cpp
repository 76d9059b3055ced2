// SPDX-License-Identifier: GPL-3.0-or-later
#include "Languageapply.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "BoxRecorder.h"
#include "DirectoryListing.h"
#include "DocumentsFolder.h"
#include "Languagetable.h"
#include "Locale.h"
#include "MessageBox.h"
#include "Packtext.h"
#include "ProgramDir.h"
#include "SettingsLocation.h"
#include "Sonvertapplication.h"

namespace {

template <typename T>
T* Add(QWidget* parent, const char* name, const QString& text = {}) {
    auto* widget = new T(parent);
    widget->setObjectName(name);
    if constexpr (std::is_base_of_v<QGroupBox, T>) {
        widget->setTitle(text);
    } else if constexpr (std::is_base_of_v<QAbstractButton, T> || std::is_base_of_v<QLabel, T>) {
        widget->setText(text);
    }
    return widget;
}

// Stand-ins for the four windows, with the controls a pack reaches and a few it must not touch.
struct Windows {
    Windows() {
        main.setObjectName("MainForm");
        for (const char* name :
             {"SpeedButtonAdd", "SpeedButtonRemove", "SpeedButtonClear", "SpeedButtonConvert",
              "SpeedButtonOptions", "SpeedButtonAbout", "SpeedButtonUpdate"}) {
            Add<QToolButton>(&main, name);
        }
        list = Add<QTreeWidget>(&main, "ListView1");
        list->setColumnCount(6);
        openDialog = new QObject(&main);
        openDialog->setObjectName("OpenDialog1");

        about.setObjectName("AboutForm");
        aboutLabel1 = Add<QLabel>(&about, "Label1", "Quennets Sonvert");
        for (const char* name : {"Label2", "Label3", "Label5", "Label7", "Label9"}) {
            Add<QLabel>(&about, name);
        }
        Add<QPushButton>(&about, "ButtonOk");

        process.setObjectName("ProcessForm");
        Add<QLabel>(&process, "Label2");
        Add<QLabel>(&process, "Label3");
        Add<QPushButton>(&process, "ButtonCancel");

        options.setObjectName("OptionsForm");
        tabs = new QTabWidget(&options);
        auto* general = Add<QWidget>(tabs, "TabSheet1");
        auto* mp3 = Add<QWidget>(tabs, "TabSheet2");
        tabs->addTab(general, "General");
        tabs->addTab(mp3, "MP3");
        for (const char* name : {"GroupBox1", "GroupBox2", "GroupBox3"}) {
            Add<QGroupBox>(general, name);
        }
        Add<QRadioButton>(general, "RadioSourceDir");
        Add<QRadioButton>(general, "RadioCustomDir");
        formatMp3 = Add<QRadioButton>(general, "RadioFormatMP3", "MP3");
        for (const char* name : {"GroupBox4", "GroupBox5", "GroupBox6", "GroupBox7"}) {
            Add<QGroupBox>(mp3, name);
        }
        for (const char* name : {"CheckBoxMP3CRC", "CheckBoxMP3Copyright", "CheckBoxMP3Original",
                                 "CheckBoxMP3Private"}) {
            Add<QCheckBox>(mp3, name);
        }
        for (const char* name : {"ButtonDefault", "ButtonOk", "ButtonCancel"}) {
            Add<QPushButton>(&options, name);
        }
    }
    LanguageWindows All() { return {&main, &about, &process, &options}; }

    QWidget main;
    QDialog about;
    QDialog process;
    QDialog options;
    QTreeWidget* list = nullptr;
    QObject* openDialog = nullptr;
    QLabel* aboutLabel1 = nullptr;
    QTabWidget* tabs = nullptr;
    QRadioButton* formatMp3 = nullptr;
};

QWidget* WindowOf(Windows& w, char letter) {
    return letter == 'M'   ? &w.main
           : letter == 'A' ? &w.about
           : letter == 'P' ? &w.process
                           : &w.options;
}

// What a row's target shows now.
QString Shown(Windows& w, const LanguageTableRow& row) {
    QWidget* window = WindowOf(w, row.Window);
    QObject* control = window->findChild<QObject*>(row.Control);
    switch (row.Target) {
        case LanguageTarget::WindowCaption:
            return window->windowTitle();
        case LanguageTarget::Caption:
            if (auto* label = qobject_cast<QLabel*>(control)) {
                return label->text();
            }
            return qobject_cast<QAbstractButton*>(control)->text();
        case LanguageTarget::GroupTitle:
            return qobject_cast<QGroupBox*>(control)->title();
        case LanguageTarget::Hint:
            return qobject_cast<QWidget*>(control)->toolTip();
        case LanguageTarget::ColumnTitle:
            return w.list->headerItem()->text(row.Column);
        case LanguageTarget::Filter:
            return control->property("Filter").toString();
        case LanguageTarget::TabTitle:
            return w.tabs->tabText(w.tabs->indexOf(qobject_cast<QWidget*>(control)));
    }
    return {};
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class LanguageapplyTest : public testing::Test {
  protected:
    std::string PackPath(const char* name) const { return dir_.path().toStdString() + "/" + name; }
    QTemporaryDir dir_;
    Windows w_;
};

TEST_F(LanguageapplyTest, EveryRowReachesItsControl) {
    // Each text names its own key, so a row that lands on the wrong control shows.
    std::map<std::string, std::string> sections;
    for (const LanguageTableRow& row : LanguageTable) {
        sections[row.Section] += std::string(row.Key) + "=" + row.Section + "." + row.Key + "\n";
    }
    std::string text;
    for (const auto& [section, keys] : sections) {
        text += "[" + section + "]\n" + keys;
    }
    WriteFile(PackPath("keys.ini"), text);
    const platform::IniFile pack(PackPath("keys.ini"));
    EXPECT_TRUE(ApplyLanguagePackToWindows(&pack, w_.All()).empty());
    for (const LanguageTableRow& row : LanguageTable) {
        EXPECT_EQ(Shown(w_, row), QString("%1.%2").arg(row.Section, row.Key))
            << row.Window << " " << row.Control << " " << row.Column;
    }
    // Targets that share a control stay apart; texts no key sets stay as they were.
    EXPECT_EQ(w_.main.findChild<QToolButton*>("SpeedButtonAdd")->text(), "ToolBar.Add");
    EXPECT_EQ(w_.main.findChild<QToolButton*>("SpeedButtonAdd")->toolTip(), "Hint.Add");
    EXPECT_EQ(w_.tabs->tabText(1), "MP3");
    EXPECT_EQ(w_.formatMp3->text(), "MP3");
    EXPECT_EQ(w_.aboutLabel1->text(), "Quennets Sonvert");
    EXPECT_EQ(w_.main.windowTitle(), "");
}

// What the user reads: the toolkit renders a label or tooltip as rich text when its format says
// so or, for the automatic format, when the text looks like markup.
QString Readable(const QString& text, Qt::TextFormat format = Qt::AutoText) {
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text))) {
        return text;
    }
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

TEST_F(LanguageapplyTest, MarkupInAPackShowsAsWritten) {
    WriteFile(PackPath("markup.ini"), "[AboutForm]\nVersion=<b>x</b>\n[Hint]\nAdd=<b>x</b>\n");
    const platform::IniFile pack(PackPath("markup.ini"));
    ApplyLanguagePackToWindows(&pack, w_.All());
    const auto* label = w_.about.findChild<QLabel*>("Label2");
    EXPECT_EQ(Readable(label->text(), label->textFormat()), "<b>x</b>");
    const auto* button = w_.main.findChild<QToolButton*>("SpeedButtonAdd");
    EXPECT_EQ(Readable(button->toolTip()), "<b>x</b>");
}

TEST_F(LanguageapplyTest, MissingPackBlanksEveryTextAndRestoresTheDefaultFont) {
    const platform::IniFile first(PackPath("first.ini"));
    WriteFile(PackPath("first.ini"),
              "[LanguageProperty]\nFontName=DejaVu Serif\nFontSize=14\nCharSet=204\n"
              "[ToolBar]\nAdd=Add\n[AboutForm]\nCaption=About\n");
    ApplyLanguagePackToWindows(&first, w_.All());
    ASSERT_EQ(w_.about.windowTitle(), "About");

    const platform::IniFile missing(PackPath("missing.ini"));
    for (const platform::IniFile* pack :
         {&missing, static_cast<const platform::IniFile*>(nullptr)}) {
        EXPECT_TRUE(ApplyLanguagePackToWindows(pack, w_.All()).empty());
        for (const LanguageTableRow& row : LanguageTable) {
            EXPECT_EQ(Shown(w_, row), "") << row.Section << "/" << row.Key;
        }
        for (QWidget* window :
             {&w_.main, static_cast<QWidget*>(&w_.about), static_cast<QWidget*>(&w_.process),
              static_cast<QWidget*>(&w_.options)}) {
            EXPECT_EQ(window->font().family(), "Tahoma");
            EXPECT_EQ(window->font().pointSize(), 8);
            EXPECT_EQ(window->property("CharSet").toInt(), 1);
        }
    }
}

TEST_F(LanguageapplyTest, FontsReachTheWindowsAndControlsWithoutTheirOwn) {
    auto* ownFont = w_.about.findChild<QLabel*>("Label2");
    ownFont->setFont(QFont("DejaVu Serif", 20));
    const struct {
        const char* properties;
        const char* family;
        int size;
        int charSet;
    } cases[] = {
        {"FontName=DejaVu Sans\nFontSize=12\nCharSet=204\n", "DejaVu Sans", 12, 204},
        {"FontName=DejaVu Sans Mono\nFontSize=twelve\nCharSet=cyrillic\n", "DejaVu Sans Mono", 8,
         1},
    };
    for (const auto& c : cases) {
        WriteFile(PackPath("font.ini"), std::string("[LanguageProperty]\n") + c.properties);
        const platform::IniFile pack(PackPath("font.ini"));
        ApplyLanguagePackToWindows(&pack, w_.All());
        for (QWidget* window :
             {&w_.main, static_cast<QWidget*>(&w_.about), static_cast<QWidget*>(&w_.process),
              static_cast<QWidget*>(&w_.options)}) {
            EXPECT_EQ(window->font().family(), c.family) << c.properties;
            EXPECT_EQ(window->font().pointSize(), c.size) << c.properties;
            EXPECT_EQ(window->property("CharSet").toInt(), c.charSet) << c.properties;
        }
        const auto* follower = w_.options.findChild<QCheckBox*>("CheckBoxMP3CRC");
        EXPECT_EQ(follower->font().family(), c.family);
        EXPECT_EQ(follower->font().pointSize(), c.size);
        EXPECT_EQ(ownFont->font().family(), "DejaVu Serif");
        EXPECT_EQ(ownFont->font().pointSize(), 20);
    }
}

TEST_F(LanguageapplyTest, TextsAreDecodedByTheCharacterSet) {
    const struct {
        std::string pack;
        const char* shown;  // UTF-8
    } cases[] = {
        {"[LanguageProperty]\nCharSet=134\n[ToolBar]\nAdd=\xCC\xED\xBC\xD3\n", "添加"},
        {"[LanguageProperty]\nCharSet=136\n[ToolBar]\nAdd=\xB7\x73\xBC\x57\n", "新增"},
        {"[LanguageProperty]\nCharSet=204\n[ToolBar]\nAdd=\xC4\xEE\xE1\xE0\xE2\xE8\xF2\xFC\n",
         "Добавить"},
        {"[LanguageProperty]\nCharSet=1\n[ToolBar]\nAdd=Ajout\xC3\xA9\n", "Ajouté"},
    };
    for (const auto& c : cases) {
        WriteFile(PackPath("decode.ini"), c.pack);
        const platform::IniFile pack(PackPath("decode.ini"));
        ApplyLanguagePackToWindows(&pack, w_.All());
        EXPECT_EQ(w_.main.findChild<QToolButton*>("SpeedButtonAdd")->text(),
                  QString::fromUtf8(c.shown));
    }
}

TEST_F(LanguageapplyTest, MissingWindowsAndControls) {
    WriteFile(PackPath("p.ini"), "[ToolBar]\nAdd=Plus\n[Common]\nCancel=Stop\n");
    const platform::IniFile pack(PackPath("p.ini"));
    EXPECT_TRUE(ApplyLanguagePackToWindows(&pack, {&w_.main, nullptr, nullptr, nullptr}).empty());
    EXPECT_EQ(w_.main.findChild<QToolButton*>("SpeedButtonAdd")->text(), "Plus");
    EXPECT_EQ(w_.process.findChild<QPushButton*>("ButtonCancel")->text(), "");

    delete w_.main.findChild<QToolButton*>("SpeedButtonUpdate");
    delete w_.process.findChild<QPushButton*>("ButtonCancel");
    Add<QWidget>(&w_.process, "ButtonCancel");  // right name, but a kind without a caption
    const std::vector<std::string> expected = {"M/SpeedButtonUpdate", "M/SpeedButtonUpdate",
                                               "P/ButtonCancel"};
    EXPECT_EQ(ApplyLanguagePackToWindows(&pack, w_.All()), expected);
}

TEST_F(LanguageapplyTest, PackEditedBetweenTwoApplications) {
    const platform::IniFile pack(PackPath("live.ini"));
    WriteFile(PackPath("live.ini"), "[ProcessForm]\nCaption=Working\n");
    ApplyLanguagePackToWindows(&pack, w_.All());
    EXPECT_EQ(w_.process.windowTitle(), "Working");
    WriteFile(PackPath("live.ini"), "[ProcessForm]\nCaption=Busy\n");
    EXPECT_EQ(w_.process.windowTitle(), "Working");
    ApplyLanguagePackToWindows(&pack, w_.All());
    EXPECT_EQ(w_.process.windowTitle(), "Busy");
}

TEST_F(LanguageapplyTest, ShippedPacksDressEveryControl) {
    TSonvertApplication::RegisterFallbackFonts();
    for (const std::string& file : platform::ListIniFiles(SONVERT_PACK_DIR)) {
        const platform::IniFile pack(std::string(SONVERT_PACK_DIR) + file);
        EXPECT_TRUE(ApplyLanguagePackToWindows(&pack, w_.All()).empty()) << file;
        for (const LanguageTableRow& row : LanguageTable) {
            const QString shown = Shown(w_, row);
            EXPECT_FALSE(shown.isEmpty()) << file << " " << row.Section << "/" << row.Key;
            EXPECT_FALSE(shown.contains(QChar::ReplacementCharacter)) << file << " " << row.Key;
            if (file == "English.ini") {
                EXPECT_EQ(shown, row.BuiltIn) << row.Section << "/" << row.Key;
            }
        }
        // The face each pack names is one the system provides, or one the program stands in for
        // it (Tahoma is registered from the bundled compatible face at start-up).
        const QString family = w_.main.font().family();
        if (family != "Tahoma") {
            EXPECT_TRUE(QFontDatabase::hasFamily(family) ||
                        QFontDatabase::hasFamily(QFont::substitute(family)))
                << file << ": " << family.toStdString();
        }
    }
}

class LanguageStepTest : public LanguageapplyTest {
  protected:
    LanguageStepTest() {
        programDir_ = dir_.path().toStdString() + "/";
        platform::SetProgramDirForTesting(programDir_);
        // A configuration folder below a plain file: only the program folder takes the file.
        WriteFile(programDir_ + "blocker", "");
        platform::SetConfigHomeForTesting(programDir_ + "blocker");
        std::filesystem::create_directory(programDir_ + "SVLanguage");
        WriteFile(programDir_ + "SVLanguage/Russian.ini",
                  "[LanguageProperty]\nCharSet=204\n[AboutForm]\nCaption=\xCE \xEF\xF0\xEE\xE3\xF0"
                  "\xE0\xEC\xEC\xE5\n");
    }
    ~LanguageStepTest() override {
        std::filesystem::permissions(programDir_, std::filesystem::perms::owner_all);
        platform::SetProgramDirForTesting("");
        platform::SetConfigHomeForTesting("");
        platform::SetUserLanguageIdForTesting(0);
    }
    std::string programDir_;
    testing_support::BoxRecorder boxes_;
};

TEST_F(LanguageStepTest, FirstStartChoosesWritesAndApplies) {
    platform::SetUserLanguageIdForTesting(0x0419);
    std::unique_ptr<platform::IniFile> current;
    EXPECT_TRUE(ApplyLanguagePack(current, w_.All()));
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->Path(), programDir_ + "SVLanguage/Russian.ini");
    EXPECT_EQ(w_.about.windowTitle(), "О программе");
    EXPECT_EQ(platform::IniFile(programDir_ + "Sonvert.ini").ReadString("General", "Language", ""),
              "Russian.ini");
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(LanguageStepTest, StoredNameFindsThePackWhateverItsCase) {
    const struct {
        const char* stored;
        const char* opened;
    } cases[] = {
        {"Russian.ini", "Russian.ini"},
        {"russian.ini", "Russian.ini"},
        {"RUSSIAN.INI", "Russian.ini"},
        {"Russian2.ini", "Russian2.ini"},  // no such pack: blank texts, no error
    };
    for (const auto& c : cases) {
        WriteFile(programDir_ + "Sonvert.ini", std::string("[General]\nLanguage=") + c.stored);
        std::unique_ptr<platform::IniFile> current;
        EXPECT_TRUE(ApplyLanguagePack(current, w_.All())) << c.stored;
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(current->Path(), programDir_ + "SVLanguage/" + c.opened) << c.stored;
        EXPECT_EQ(w_.about.windowTitle(),
                  std::string(c.opened) == "Russian.ini" ? "О программе" : "")
            << c.stored;
    }
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(LanguageStepTest, RefusedWriteKeepsThePreviousPack) {
    platform::SetUserLanguageIdForTesting(0x0419);
    auto previous = std::make_unique<platform::IniFile>(programDir_ + "SVLanguage/Old.ini");
    const platform::IniFile* before = previous.get();
    w_.about.setWindowTitle("Old caption");
    std::filesystem::permissions(
        programDir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(ApplyLanguagePack(previous, w_.All()));
    EXPECT_EQ(previous.get(), before);
    EXPECT_EQ(w_.about.windowTitle(), "Old caption");
    const auto boxes = boxes_.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, platform::BoxKind::StandardError);
    EXPECT_EQ(boxes[0].text, platform::StandardErrorText("Unable to write to " + programDir_ +
                                                         "blocker/sonvert/Sonvert.ini"));
}

}  // namespace
