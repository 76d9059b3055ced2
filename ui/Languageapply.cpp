// SPDX-License-Identifier: GPL-3.0-or-later
#include "Languageapply.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTextDocument>
#include <QTreeWidget>

#include "Languagepack.h"
#include "Languagetable.h"
#include "MessageBox.h"
#include "Packtext.h"
#include "Settingsfile.h"

namespace {

QWidget* WindowFor(char letter, const LanguageWindows& windows) {
    switch (letter) {
        case 'M':
            return windows.Main;
        case 'A':
            return windows.About;
        case 'P':
            return windows.Process;
        case 'O':
            return windows.Options;
        default:
            return nullptr;
    }
}

QTabWidget* TabWidgetOf(QWidget* page) {
    for (QWidget* parent = page->parentWidget(); parent != nullptr;
         parent = parent->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(parent)) {
            return tabs;
        }
    }
    return nullptr;
}

// False when the control is not of the kind the row needs.
bool SetText(QWidget* window, const LanguageTableRow& row, const QString& text) {
    if (row.Target == LanguageTarget::WindowCaption) {
        window->setWindowTitle(text);
        return true;
    }
    QObject* control = window->findChild<QObject*>(QString::fromLatin1(row.Control));
    if (control == nullptr) {
        return false;
    }
    switch (row.Target) {
        case LanguageTarget::Caption:
            if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                button->setText(text);
                return true;
            }
            if (auto* label = qobject_cast<QLabel*>(control)) {
                label->setTextFormat(Qt::PlainText);
                label->setText(text);
                return true;
            }
            return false;
        case LanguageTarget::GroupTitle:
            if (auto* group = qobject_cast<QGroupBox*>(control)) {
                group->setTitle(text);
                return true;
            }
            return false;
        case LanguageTarget::Hint:
            if (auto* widget = qobject_cast<QWidget*>(control)) {
                // A tooltip that looks like markup is rendered as such; a pack's text shows as
                // it is written.
                widget->setToolTip(Qt::mightBeRichText(text)
                                       ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap)
                                       : text);
                return true;
            }
            return false;
        case LanguageTarget::ColumnTitle:
            if (auto* list = qobject_cast<QTreeWidget*>(control)) {
                list->headerItem()->setText(row.Column, text);
                return true;
            }
            return false;
        case LanguageTarget::Filter:
            control->setProperty("Filter", text);
            return true;
        case LanguageTarget::TabTitle: {
            auto* page = qobject_cast<QWidget*>(control);
            QTabWidget* tabs = page != nullptr ? TabWidgetOf(page) : nullptr;
            const int index = tabs != nullptr ? tabs->indexOf(page) : -1;
            if (index < 0) {
                return false;
            }
            tabs->setTabText(index, text);
            return true;
        }
        case LanguageTarget::WindowCaption:
            break;
    }
    return false;
}

// Labels placed only by their left and top: their width follows their text in every pack.
struct PositionedLabel {
    char Window;
    const char* Control;
};
constexpr PositionedLabel TextSizedLabels[] = {
    {'A', "Label2"}, {'A', "Label3"}, {'A', "Label5"}, {'A', "Label7"},
    {'A', "Label9"}, {'P', "Label2"}, {'P', "Label3"},
};

// Runs after the fonts and texts, so each label measures the text and font it now shows; the
// label keeps its left and top.
void SizeLabelsToText(const LanguageWindows& windows) {
    for (const PositionedLabel& entry : TextSizedLabels) {
        QWidget* window = WindowFor(entry.Window, windows);
        auto* label =
            window != nullptr ? window->findChild<QLabel*>(QLatin1String(entry.Control)) : nullptr;
        if (label != nullptr) {
            label->adjustSize();
        }
    }
}

}  // namespace

std::vector<std::string> ApplyLanguagePackToWindows(const platform::IniFile* pack,
                                                    const LanguageWindows& windows) {
    const PackFont packFont = ReadPackFont(pack);
    const QString family = DecodePackText(packFont.FontName, packFont.CharSet);
    // Only the window's own font changes; controls with a font of their own keep theirs, the
    // rest follow their window.
    for (QWidget* window : {windows.Main, windows.About, windows.Process, windows.Options}) {
        if (window == nullptr) {
            continue;
        }
        QFont font = window->font();
        font.setFamilies({family});
        font.setPointSize(packFont.FontSize);
        window->setFont(font);
        window->setProperty("CharSet", packFont.CharSet);
    }

    std::vector<std::string> notFound;
    for (const LanguageTableRow& row : LanguageTable) {
        QWidget* window = WindowFor(row.Window, windows);
        if (window == nullptr) {
            continue;
        }
        const QString text =
            DecodePackText(LanguageString(pack, row.Section, row.Key, ""), packFont.CharSet);
        if (!SetText(window, row, text)) {
            notFound.push_back(std::string(1, row.Window) + "/" + row.Control);
        }
    }
    SizeLabelsToText(windows);
    return notFound;
}

bool ApplyLanguagePack(std::unique_ptr<platform::IniFile>& current,
                       const LanguageWindows& windows) {
    std::string file;
    try {
        file = ChooseLanguagePackFile();
    } catch (const SettingsError& error) {
        platform::ShowStandardError(error.what());
        return false;
    }
    current = std::make_unique<platform::IniFile>(LanguagePackPath(file));
    ApplyLanguagePackToWindows(current.get(), windows);
    return true;
}
