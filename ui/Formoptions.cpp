// SPDX-License-Identifier: GPL-3.0-or-later
#include "Formoptions.h"

#include <QCollator>
#include <QKeyEvent>
#include <QMetaObject>

#include <algorithm>
#include <vector>

#include "DirectoryListing.h"
#include "FileDialogs.h"
#include "Glyphs.h"
#include "IniFile.h"
#include "Languagepack.h"
#include "MessageBox.h"
#include "Packtext.h"
#include "ProgramDir.h"
#include "Settingsfile.h"

namespace {

// File names compare as the user's locale does, without regard to case.
QCollator FileNameCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

std::vector<std::string> SortedPackFiles() {
    std::vector<std::string> files = platform::ListIniFiles(LanguagePackDir());
    const QCollator collator = FileNameCollator();
    std::stable_sort(files.begin(), files.end(), [&](const std::string& a, const std::string& b) {
        return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
    });
    return files;
}

QString PackDisplayName(const std::string& file) {
    const platform::IniFile pack(LanguagePackDir() + file);
    return DecodePackText(LanguageString(&pack, "LanguageProperty", "Name", ""),
                          ReadPackFont(&pack).CharSet);
}

template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}

QString NameOf(OutputFormat format) {
    return QLatin1String(FormatOf(format).Name);
}

// A format's tab: its list of bitrates or qualities in a group box.
QComboBox* ValueList(QWidget* tab, const char* groupName, QGroupBox*& group, OutputFormat format) {
    const FormatFacts& facts = FormatOf(format);
    group = Place(new QGroupBox(QLatin1String(facts.ListName), tab), groupName, 16, 40, 201, 105);
    auto* list =
        Place(new QComboBox(group), (std::string("ComboBox") + facts.Name + facts.ListName).c_str(),
              28, 32, 145, 21);
    for (const ValueEntry& entry : facts.List) {
        list->addItem(QLatin1String(entry.Label));
    }
    list->setCurrentIndex(facts.DefaultIndex);
    return list;
}

void SelectIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

}  // namespace

TOptionsForm::TOptionsForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral("Options"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(414, 325);

    PageControl1 = Place(new QTabWidget(this), "PageControl1", 0, 0, 414, 281);

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("General"));
    GroupBox1 = Place(new QGroupBox(QStringLiteral("Output Format"), TabSheet1), "GroupBox1", 16,
                      16, 369, 57);
    RadioFormatMP3 = Place(new QRadioButton(NameOf(OutputFormat::MP3), GroupBox1), "RadioFormatMP3",
                           56, 24, 49, 17);
    RadioFormatWMA = Place(new QRadioButton(NameOf(OutputFormat::WMA), GroupBox1), "RadioFormatWMA",
                           144, 24, 63, 17);
    RadioFormatOGG = Place(new QRadioButton(NameOf(OutputFormat::OGG), GroupBox1), "RadioFormatOGG",
                           232, 24, 57, 17);
    RadioFormatMP3->setChecked(true);
    GroupBox2 = Place(new QGroupBox(QStringLiteral("Output Directory"), TabSheet1), "GroupBox2", 16,
                      79, 369, 106);
    RadioSourceDir = Place(new QRadioButton(QStringLiteral("The same as source file"), GroupBox2),
                           "RadioSourceDir", 32, 24, 193, 17);
    RadioCustomDir = Place(new QRadioButton(QStringLiteral("Custom"), GroupBox2), "RadioCustomDir",
                           32, 47, 113, 17);
    RadioSourceDir->setChecked(true);
    EditOutputDir = Place(new QLineEdit(QString(platform::PathSeparator), GroupBox2),
                          "EditOutputDir", 48, 70, 279, 21);
    ButtonSelectPath = Place(new QToolButton(GroupBox2), "ButtonSelectPath", 333, 70, 23, 22);
    ButtonSelectPath->setAutoRaise(true);
    ButtonSelectPath->setIcon(Glyph("selectfolder"));
    ButtonSelectPath->setIconSize(QSize(16, 16));
    GroupBox3 =
        Place(new QGroupBox(QStringLiteral("Language"), TabSheet1), "GroupBox3", 16, 191, 369, 50);
    ComboBoxLanguage = Place(new QComboBox(GroupBox3), "ComboBoxLanguage", 48, 16, 193, 21);

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, NameOf(OutputFormat::MP3));
    ComboBoxMP3Bitrate = ValueList(TabSheet2, "GroupBox4", GroupBox4, OutputFormat::MP3);
    GroupBox5 =
        Place(new QGroupBox(QStringLiteral("Sign"), TabSheet2), "GroupBox5", 240, 40, 129, 169);
    CheckBoxMP3CRC =
        Place(new QCheckBox(QStringLiteral("CRC"), GroupBox5), "CheckBoxMP3CRC", 16, 34, 97, 17);
    CheckBoxMP3Copyright = Place(new QCheckBox(QStringLiteral("Copyright"), GroupBox5),
                                 "CheckBoxMP3Copyright", 16, 64, 97, 17);
    CheckBoxMP3Original = Place(new QCheckBox(QStringLiteral("Original"), GroupBox5),
                                "CheckBoxMP3Original", 16, 96, 97, 17);
    CheckBoxMP3Private = Place(new QCheckBox(QStringLiteral("Private"), GroupBox5),
                               "CheckBoxMP3Private", 16, 128, 97, 17);

    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet3, NameOf(OutputFormat::WMA));
    ComboBoxWMABitrate = ValueList(TabSheet3, "GroupBox6", GroupBox6, OutputFormat::WMA);

    TabSheet4 = new QWidget;
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    PageControl1->addTab(TabSheet4, NameOf(OutputFormat::OGG));
    ComboBoxOGGQuality = ValueList(TabSheet4, "GroupBox7", GroupBox7, OutputFormat::OGG);

    ButtonDefault =
        Place(new QPushButton(QStringLiteral("Default"), this), "ButtonDefault", 40, 292, 75, 25);
    ButtonOk = Place(new QPushButton(QStringLiteral("OK"), this), "ButtonOk", 160, 292, 75, 25);
    ButtonCancel =
        Place(new QPushButton(QStringLiteral("Cancel"), this), "ButtonCancel", 280, 292, 75, 25);
    formatButtons_ = {RadioFormatMP3, RadioFormatWMA, RadioFormatOGG};
    valueLists_ = {ComboBoxMP3Bitrate, ComboBoxWMABitrate, ComboBoxOGGQuality};
    // No button answers Enter on its own.
    for (QPushButton* button : {ButtonDefault, ButtonOk, ButtonCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(ButtonDefault, &QPushButton::clicked, this, &TOptionsForm::ButtonDefaultClick);
    connect(ButtonSelectPath, &QToolButton::clicked, this, &TOptionsForm::ButtonSelectPathClick);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
}

void TOptionsForm::FormCreate() {
    ProgramDir = platform::ProgramDir();
    SettingsPath = ::SettingsPath();
    DefaultOutputDir = ::DefaultOutputDir();
}

void TOptionsForm::FormShow() {
    PageControl1->setCurrentIndex(0);
}

void TOptionsForm::FormActivate() {
    try {
        LoadSettings();
    } catch (const SettingsError& error) {
        platform::ShowStandardError(error.what());
    }
}

ConversionOptions TOptionsForm::CurrentOptions() const {
    ConversionOptions options;
    options.OutputFormat = OutputFormat::OGG;  // when no earlier button is checked
    for (std::size_t i = Formats.size(); i-- > 0;) {
        if (formatButtons_[i]->isChecked()) {
            options.OutputFormat = static_cast<OutputFormat>(i);
        }
        options.*ListIndexOf[i] = valueLists_[i]->currentIndex();
    }
    options.CustomDir = RadioCustomDir->isChecked();
    options.OutputDir = EditOutputDir->text().toStdString();
    options.Mp3Crc = CheckBoxMP3CRC->isChecked();
    options.Mp3Copyright = CheckBoxMP3Copyright->isChecked();
    options.Mp3Original = CheckBoxMP3Original->isChecked();
    options.Mp3Private = CheckBoxMP3Private->isChecked();
    return options;
}

void TOptionsForm::LoadSettings() {
    ConversionOptions options = CurrentOptions();
    std::string language;
    try {
        ReadSettingsFile(options, language);
    } catch (const SettingsError&) {
        // The keys read before the bad one still reach the controls.
        ShowOptions(options, language);
        throw;
    }
    ShowOptions(options, language);
}

void TOptionsForm::ShowOptions(const ConversionOptions& options, const std::string& language) {
    formatButtons_[FormatIndex(options.OutputFormat)]->setChecked(true);
    (options.CustomDir ? RadioCustomDir : RadioSourceDir)->setChecked(true);
    EditOutputDir->setText(QString::fromStdString(options.OutputDir));
    FillLanguageList(language);
    for (std::size_t i = 0; i < Formats.size(); ++i) {
        SelectIndex(valueLists_[i], options.*ListIndexOf[i]);
    }
    CheckBoxMP3CRC->setChecked(options.Mp3Crc);
    CheckBoxMP3Copyright->setChecked(options.Mp3Copyright);
    CheckBoxMP3Original->setChecked(options.Mp3Original);
    CheckBoxMP3Private->setChecked(options.Mp3Private);
}

void TOptionsForm::FillLanguageList(const std::string& language) {
    const QCollator collator = FileNameCollator();
    const QString stored = QString::fromStdString(language);
    ComboBoxLanguage->clear();
    int selected = -1;
    for (const std::string& file : SortedPackFiles()) {
        ComboBoxLanguage->addItem(PackDisplayName(file));
        if (selected < 0 && collator.compare(QString::fromStdString(file), stored) == 0) {
            selected = ComboBoxLanguage->count() - 1;
        }
    }
    ComboBoxLanguage->setCurrentIndex(selected);
}

std::string TOptionsForm::LanguageFileOf(const QString& displayName) const {
    if (displayName.isEmpty()) {
        return {};
    }
    const QCollator collator = FileNameCollator();
    for (const std::string& file : SortedPackFiles()) {
        if (collator.compare(PackDisplayName(file), displayName) == 0) {
            return file;
        }
    }
    return {};
}

void TOptionsForm::SaveSettings() {
    const QString displayed =
        ComboBoxLanguage->currentIndex() >= 0 ? ComboBoxLanguage->currentText() : QString();
    WriteSettingsFile(CurrentOptions(), LanguageFileOf(displayed));
}

void TOptionsForm::ButtonDefaultClick() {
    RadioFormatMP3->setChecked(true);
    RadioSourceDir->setChecked(true);
    EditOutputDir->setText(QString::fromStdString(DefaultOutputDir));
    for (std::size_t i = 0; i < Formats.size(); ++i) {
        valueLists_[i]->setCurrentIndex(Formats[i].DefaultIndex);
    }
    for (QCheckBox* flag :
         {CheckBoxMP3CRC, CheckBoxMP3Copyright, CheckBoxMP3Original, CheckBoxMP3Private}) {
        flag->setChecked(false);
    }
}

void TOptionsForm::ButtonSelectPathClick() {
    std::optional<std::string> folder = platform::BrowseForFolder("Select the output folder...");
    if (!folder) {
        return;
    }
    if (folder->empty() || folder->back() != platform::PathSeparator) {
        *folder += platform::PathSeparator;
    }
    EditOutputDir->setText(QString::fromStdString(*folder));
}

void TOptionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    FormShow();
    activation_.Arm();
}

bool TOptionsForm::event(QEvent* event) {
    activation_.Notice(event);
    return QDialog::event(event);
}

void TOptionsForm::keyPressEvent(QKeyEvent* event) {
    // Escape does not cancel: only the Cancel button and the close box do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
