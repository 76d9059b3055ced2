// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFrame>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QToolButton>
#include <QTreeWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Activation.h"
#include "ApplicationEvents.h"
#include "CppWebBrowser.h"
#include "IniFile.h"
#include "Opendialog.h"
#include "Statusbar.h"

struct WaveInfo;
class TOptionsForm;
class TConvertThread;

// The main window: the file list that makes up the next batch, the toolbar and the status bar
// that sums the batch up. It holds the current language pack for all windows.
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    // The windows created after this one; the main window applies the language pack to them and
    // runs the options dialog.
    struct OtherForms {
        QDialog* AboutForm = nullptr;
        QDialog* ProcessForm = nullptr;
        TOptionsForm* OptionsForm = nullptr;
    };

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    void SetOtherForms(const OtherForms& forms) { forms_ = forms; }
    // Waits for a cancelled batch that is still finishing its file; the program calls it before
    // its windows go, since that batch still reports to them.
    void FinishRunningBatch();
    const OtherForms& Forms() const { return forms_; }

    // Chooses the pack and applies it to the four windows. False when the settings file refused
    // the language choice: the error has been shown and the previous pack stays.
    bool ApplyLanguagePack();
    // The raw value of a key of the current pack, or the default.
    std::string LanguageString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const;
    // A pack text decoded for display; empty when the key is absent.
    QString LanguageText(const std::string& section, const std::string& key) const;
    void UpdateStatusBar();

    // Each row keeps its file's full path here as the file system's bytes (a QByteArray): the
    // texts show names that are not UTF-8 with replacement characters, and name no file then.
    static constexpr int FilePathRole = Qt::UserRole;

    // Narrower than this outer width the window may not become; any height is fine.
    static constexpr int MinimumOuterWidth = 708;

    void FormCreate();
    void FormActivate();
    void FormDestroy();
    void ListView1Click();
    void SpeedButtonAddClick();
    void SpeedButtonRemoveClick();
    void SpeedButtonClearClick();
    void SpeedButtonConvertClick();
    void SpeedButtonOptionsClick();
    void SpeedButtonAboutClick();
    void SpeedButtonUpdateClick();
    void CppWebBrowser1DocumentComplete(QObject* Sender);
    void ApplicationEvents1Message(QObject* Receiver, QEvent* Msg, bool& Handled);
    void WMDropFiles(const std::vector<std::string>& paths);

    QWidget* Panel1;
    TStatusBar* StatusBar1;
    QTreeWidget* ListView1;
    QToolButton* SpeedButtonAdd;
    QToolButton* SpeedButtonRemove;
    QToolButton* SpeedButtonClear;
    QFrame* Bevel1;
    QToolButton* SpeedButtonConvert;
    QToolButton* SpeedButtonOptions;
    QFrame* Bevel2;
    QToolButton* SpeedButtonAbout;
    QToolButton* SpeedButtonUpdate;
    TCppWebBrowser* CppWebBrowser1;
    QList<QIcon> ImageList1;
    TApplicationEvents* ApplicationEvents1;
    TOpenDialog* OpenDialog1;

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // The file-type icons met during one Add or drop: the desktop is asked once per type, and the
    // rows share that icon.
    using FileTypeIcons = std::map<std::string, QIcon>;
    void AppendRow(const std::string& path, const WaveInfo& info, const QString& channelText,
                   FileTypeIcons& icons);
    void KeepMinimumWidth();

    std::string ProgramDir;
    std::string FlashFile;
    std::unique_ptr<platform::IniFile> LanguageIni;
    OtherForms forms_;
    bool activated_ = false;
    // The worker of the last batch, which a cancel leaves finishing its file; it lets itself go.
    QPointer<TConvertThread> worker_;
    bool finishing_ = false;  // FinishRunningBatch is waiting
    bool closing_ = false;    // closed and not shown again: no batch starts
    TActivationOnce activation_{this, [this] { FormActivate(); }};
};
