// SPDX-License-Identifier: GPL-3.0-or-later
// Every shipped pack, applied to the real windows: each caption of a control of fixed size fits
// the room the style gives its text, in the pack's own font; the labels placed by position only
// follow their texts without running into anything.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BoxRecorder.h"
#include "Formabout.h"
#include "Formmain.h"
#include "Formoptions.h"
#include "Formprocess.h"
#include "Languagetable.h"
#include "ProgramDir.h"
#include "Sonvertapplication.h"
#include "WaveWriter.h"

namespace {

// One caption and the width the style leaves for it.
struct Room {
    QString control;
    QString text;
    int textWidth;
    int contentWidth;
};

// The face a pack's font name comes out as: the system's own, or the program's stand-in for a
// Windows face.
QString PackFace(const QString& family) {
    return QFontDatabase::hasFamily(family) ? family : QFont::substitute(family);
}

int Advance(const QWidget* control, const QString& text) {
    return QFontMetrics(control->font()).horizontalAdvance(text);
}

QString Name(const QWidget* control) {
    return control->window()->objectName() + "/" + control->objectName();
}

// The style draws a tool button's caption inside the button's frame and elides what is wider.
Room ToolButtonRoom(const QToolButton* button) {
    QStyleOptionToolButton option;
    option.initFrom(button);
    const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button);
    return {Name(button), button->text(), Advance(button, button->text()),
            button->width() - 2 * frame};
}

Room ButtonRoom(const QAbstractButton* button, QStyle::SubElement contents) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect room = button->style()->subElementRect(contents, &option, button);
    return {Name(button), button->text(), Advance(button, button->text()), room.width()};
}

// The title's box from the style, with as much space at its right end as the style leaves at its
// left.
Room GroupTitleRoom(const QGroupBox* group) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.lineWidth = 1;
    const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, group);
    return {Name(group), group->title(), std::max(label.width(), Advance(group, group->title())),
            group->width() - 2 * label.left()};
}

Room TabRoom(const QTabBar* bar, int index) {
    QStyleOptionTab option;
    option.initFrom(bar);
    option.rect = bar->tabRect(index);
    option.text = bar->tabText(index);
    option.shape = bar->shape();
    const QRect text = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &option, bar);
    // A tab pushed past the bar's end is as good as cut off.
    const int visible = std::min(option.rect.right(), bar->width() - 1) - option.rect.left() + 1;
    return {Name(bar->parentWidget()) + " tab " + QString::number(index), option.text,
            Advance(bar, option.text), std::min(text.width(), visible)};
}

Room ColumnRoom(const QTreeWidget* list, int column) {
    const QHeaderView* header = list->header();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.rect = QRect(0, 0, header->sectionSize(column), header->height());
    option.section = column;
    option.text = list->headerItem()->text(column);
    const QRect label = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
    return {Name(list) + " column " + QString::number(column), option.text,
            Advance(header, option.text), label.width()};
}

// A list cell's text, as the style lays it out inside the column with its margins.
Room CellRoom(const QTreeWidget* list, int column, const QString& text) {
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    return {Name(list) + " cell of column " + QString::number(column), text,
            QFontMetrics(list->font()).horizontalAdvance(text),
            list->columnWidth(column) - 2 * margin};
}

Room PanelRoom(const QLabel* panel, const QString& text) {
    return {Name(panel), text, Advance(panel, text),
            panel->contentsRect().width() - panel->indent()};
}

class TextFitTest : public testing::Test {
  protected:
    TextFitTest() {
        TSonvertApplication::RegisterFallbackFonts();
        const std::string dir = dir_.path().toStdString() + "/";
        platform::SetProgramDirForTesting(dir);
        QDir().mkpath(dir_.filePath("SVLanguage"));
        for (const QString& pack : Packs()) {
            QFile::copy(QStringLiteral(SONVERT_PACK_DIR) + pack,
                        dir_.filePath("SVLanguage/" + pack));
        }
        testing_support::WriteFile(dir + "Sonvert.ini", "[General]\r\nAd=0\r\n");
        // Only now: the windows find their program folder and its settings when they are made.
        window_ = std::make_unique<TMainForm>();
        main = window_.get();
        about = new TAboutForm(main);
        process = new TProcessForm(main);
        options = new TOptionsForm(main);
        main->SetOtherForms({about, process, options});
    }
    ~TextFitTest() override {
        window_.reset();
        platform::SetProgramDirForTesting("");
    }

    static QStringList Packs() {
        return QDir(QStringLiteral(SONVERT_PACK_DIR)).entryList({QStringLiteral("*.ini")});
    }

    // Applies `pack` as the program does after the options dialog closed, with every window laid
    // out as the user sees it.
    void Apply(const QString& pack) {
        testing_support::WriteFile(dir_.path().toStdString() + "/Sonvert.ini",
                                   "[General]\r\nAd=0\r\nLanguage=" + pack.toStdString() + "\r\n");
        ASSERT_TRUE(main->ApplyLanguagePack());
        main->UpdateStatusBar();
        for (QWidget* window : std::initializer_list<QWidget*>{main, about, process, options}) {
            window->show();
        }
        QCoreApplication::processEvents();
    }

    std::vector<Room> Rooms() {
        std::vector<Room> rooms;
        for (QToolButton* button :
             {main->SpeedButtonAdd, main->SpeedButtonRemove, main->SpeedButtonClear,
              main->SpeedButtonConvert, main->SpeedButtonOptions, main->SpeedButtonAbout,
              main->SpeedButtonUpdate}) {
            rooms.push_back(ToolButtonRoom(button));
        }
        for (int column = 0; column < main->ListView1->columnCount(); ++column) {
            rooms.push_back(ColumnRoom(main->ListView1, column));
        }
        for (const char* channels : {"Mono", "Stereo"}) {
            rooms.push_back(CellRoom(main->ListView1, 3, main->LanguageText("ListView", channels)));
        }
        // Room for a four-digit count of files, and every format with its longest setting.
        rooms.push_back(PanelRoom(main->StatusBar1->Panel(0),
                                  "1000 " + main->LanguageText("StatusBar", "Files")));
        const struct {
            QRadioButton* format;
            QComboBox* setting;
        } formats[] = {{options->RadioFormatMP3, options->ComboBoxMP3Bitrate},
                       {options->RadioFormatWMA, options->ComboBoxWMABitrate},
                       {options->RadioFormatOGG, options->ComboBoxOGGQuality}};
        for (const auto& format : formats) {
            format.format->setChecked(true);
            for (int entry = 0; entry < format.setting->count(); ++entry) {
                format.setting->setCurrentIndex(entry);
                main->UpdateStatusBar();
                rooms.push_back(
                    PanelRoom(main->StatusBar1->Panel(1), main->StatusBar1->PanelText(1)));
            }
        }
        for (QPushButton* button : options->findChildren<QPushButton*>()) {
            rooms.push_back(ButtonRoom(button, QStyle::SE_PushButtonContents));
        }
        for (QPushButton* button : {about->ButtonOk, process->ButtonCancel}) {
            rooms.push_back(ButtonRoom(button, QStyle::SE_PushButtonContents));
        }
        for (QCheckBox* box : options->findChildren<QCheckBox*>()) {
            rooms.push_back(ButtonRoom(box, QStyle::SE_CheckBoxContents));
        }
        for (QRadioButton* radio : options->findChildren<QRadioButton*>()) {
            rooms.push_back(ButtonRoom(radio, QStyle::SE_RadioButtonContents));
        }
        for (QGroupBox* group : options->findChildren<QGroupBox*>()) {
            rooms.push_back(GroupTitleRoom(group));
        }
        const QTabBar* tabs = options->PageControl1->tabBar();
        for (int tab = 0; tab < tabs->count(); ++tab) {
            rooms.push_back(TabRoom(tabs, tab));
        }
        return rooms;
    }

    QTemporaryDir dir_;
    testing_support::BoxRecorder boxes_;  // the About dialog finds no encoder library here
    std::unique_ptr<TMainForm> window_;
    TMainForm* main = nullptr;
    TAboutForm* about = nullptr;
    TProcessForm* process = nullptr;
    TOptionsForm* options = nullptr;
};

TEST_F(TextFitTest, EveryCaptionFitsItsControlInEveryPack) {
    ASSERT_FALSE(Packs().isEmpty());
    for (const QString& pack : Packs()) {
        Apply(pack);
        // Measured in the face the pack asks for, not in a chance stand-in for a missing one.
        EXPECT_EQ(QFontInfo(main->SpeedButtonAdd->font()).family().toLower().toStdString(),
                  PackFace(main->font().family()).toLower().toStdString())
            << pack.toStdString();
        for (const Room& room : Rooms()) {
            EXPECT_FALSE(room.text.isEmpty())
                << pack.toStdString() << ": " << room.control.toStdString() << " has no caption";
            EXPECT_LE(room.textWidth, room.contentWidth)
                << pack.toStdString() << ": " << room.control.toStdString() << " \""
                << room.text.toStdString() << "\" needs " << room.textWidth << " px, has "
                << room.contentWidth;
        }
    }
}

// No text shows empty boxes or borrows its letters from another face.
TEST_F(TextFitTest, ThePackFaceHasEveryLetterOfEveryText) {
    std::vector<LanguageKey> keys(LookedUpLanguageKeys.begin(), LookedUpLanguageKeys.end());
    keys.push_back({"LanguageProperty", "Name"});
    for (const LanguageTableRow& row : LanguageTable) {
        keys.push_back({row.Section, row.Key});
    }
    for (const QString& pack : Packs()) {
        Apply(pack);
        const QRawFont face = QRawFont::fromFont(main->font());
        for (const LanguageKey& key : keys) {
            QString missing;
            for (const char32_t letter : main->LanguageText(key.Section, key.Key).toUcs4()) {
                if (!face.supportsCharacter(letter)) {
                    missing += QString::fromUcs4(&letter, 1);
                }
            }
            EXPECT_TRUE(missing.isEmpty())
                << pack.toStdString() << " " << key.Section << "/" << key.Key << ": \""
                << missing.toStdString() << "\" not in " << face.familyName().toStdString();
        }
    }
}

TEST_F(TextFitTest, PositionedLabelsFollowTheirTextsAndOverlapNothing) {
    const struct {
        QLabel* label;
        QPoint corner;
    } labels[] = {
        {about->Label2, {24, 54}},   {about->Label3, {24, 73}},  {about->Label5, {24, 104}},
        {about->Label7, {24, 123}},  {about->Label9, {24, 142}}, {process->Label2, {16, 48}},
        {process->Label3, {16, 80}},
    };
    for (const QString& pack : Packs()) {
        Apply(pack);
        for (const auto& entry : labels) {
            const QLabel* label = entry.label;
            const std::string where = pack.toStdString() + ": " + Name(label).toStdString();
            EXPECT_EQ(label->pos(), entry.corner) << where;
            EXPECT_EQ(label->size(), label->sizeHint()) << where;
            EXPECT_GE(label->width(), Advance(label, label->text())) << where;
            EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry())) << where;
            // Frames drawn around the whole group may hold the label; nothing may cross it.
            for (const QWidget* other : label->parentWidget()->findChildren<QWidget*>(
                     QString(), Qt::FindDirectChildrenOnly)) {
                if (other == label || other->geometry().contains(label->geometry())) {
                    continue;
                }
                EXPECT_FALSE(other->geometry().intersects(label->geometry()))
                    << where << " (" << label->x() << "+" << label->width() << ") runs into "
                    << other->objectName().toStdString() << " (" << other->x() << "+"
                    << other->width() << ")";
            }
        }
    }
}

}  // namespace
