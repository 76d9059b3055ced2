// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>

#include <array>
#include <string>

#include "Activation.h"
#include "ConversionOptions.h"

// The options dialog. Its controls are the only holder of the current conversion options; the
// settings file is read into them each time the dialog is shown.
class TOptionsForm : public QDialog {
    Q_OBJECT

  public:
    explicit TOptionsForm(QWidget* parent = nullptr);

    // The values of the controls at this moment; a list without selection gives index -1.
    ConversionOptions CurrentOptions() const;
    // Settings file to controls, with a fresh language list. Throws SettingsError after filling
    // the controls read so far.
    void LoadSettings();
    // Controls to settings file. Throws SettingsError; keys written before it stay written.
    void SaveSettings();

    void FormCreate();
    void FormShow();
    void FormActivate();
    void ButtonDefaultClick();
    void ButtonSelectPathClick();

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QGroupBox* GroupBox1;
    QRadioButton* RadioFormatMP3;
    QRadioButton* RadioFormatWMA;
    QRadioButton* RadioFormatOGG;
    QGroupBox* GroupBox2;
    QRadioButton* RadioSourceDir;
    QRadioButton* RadioCustomDir;
    QLineEdit* EditOutputDir;
    QToolButton* ButtonSelectPath;
    QGroupBox* GroupBox3;
    QComboBox* ComboBoxLanguage;
    QWidget* TabSheet2;
    QGroupBox* GroupBox4;
    QComboBox* ComboBoxMP3Bitrate;
    QGroupBox* GroupBox5;
    QCheckBox* CheckBoxMP3CRC;
    QCheckBox* CheckBoxMP3Copyright;
    QCheckBox* CheckBoxMP3Original;
    QCheckBox* CheckBoxMP3Private;
    QWidget* TabSheet3;
    QGroupBox* GroupBox6;
    QComboBox* ComboBoxWMABitrate;
    QWidget* TabSheet4;
    QGroupBox* GroupBox7;
    QComboBox* ComboBoxOGGQuality;
    QPushButton* ButtonDefault;
    QPushButton* ButtonOk;
    QPushButton* ButtonCancel;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void ShowOptions(const ConversionOptions& options, const std::string& language);
    void FillLanguageList(const std::string& language);
    std::string LanguageFileOf(const QString& displayName) const;

    // In the order of Formats.
    std::array<QRadioButton*, Formats.size()> formatButtons_{};
    std::array<QComboBox*, Formats.size()> valueLists_{};
    std::string ProgramDir;
    std::string SettingsPath;
    std::string DefaultOutputDir;
    TActivationOnce activation_{this, [this] { FormActivate(); }};
};
