// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BoxRecorder.h"
#include "FileDialogs.h"
#include "Formmain.h"
#include "Formoptions.h"
#include "MessageBox.h"
#include "WaveWriter.h"

namespace uitest {

// A canonical 44-byte-header PCM WAVE file whose data chunk declares `dataSize` bytes; only a
// few of them are written, as the list reads nothing past the header.
void WriteWave(const std::string& path, uint16_t channels, uint32_t sampleRate,
               uint16_t bitsPerSample, uint32_t dataSize);

// An INI file from sections of key/value pairs, in the order given.
using IniKeys = std::vector<std::pair<std::string, std::string>>;
using IniSections = std::vector<std::pair<std::string, IniKeys>>;
std::string IniText(const IniSections& sections);

// A pack named "English" with the texts the status bar and the Add command look up.
IniSections TestPack();
// `pack` with one key taken out.
IniSections Without(IniSections pack, const std::string& section, const std::string& key);
// `pack` with one value changed.
IniSections Replaced(IniSections pack, const std::string& section, const std::string& key,
                     const std::string& value);

// Runs `action` inside the modal loop of `dialog`, once it is shown and has loaded.
void WhenShown(QDialog* dialog, std::function<void()> action);

// A program folder of its own, with every box recorded and both file dialogs answered by the
// test; the main window and the options dialog as start-up makes them.
class UiTest {
  public:
    UiTest();
    ~UiTest();

    std::string Dir() const { return dir_.path().toStdString() + "/"; }
    std::string PackDir() const { return Dir() + "SVLanguage/"; }
    std::string SettingsFile() const { return Dir() + "Sonvert.ini"; }
    void WritePack(const std::string& file, const IniSections& pack) const;
    void WriteSettings(const std::string& text) const {
        testing_support::WriteFile(SettingsFile(), text);
    }
    std::string Setting(const std::string& section, const std::string& key) const;

    // Shows the main window and lets its first activation run.
    void Start();
    // Add with the open dialog answering `paths` (nothing: cancelled).
    void Add(std::optional<std::vector<std::string>> paths);
    // A drop of file URLs onto the file list, delivered as the toolkit delivers one.
    void Drop(const std::vector<std::string>& paths);
    // Clicks row `row` of the file list.
    void ClickRow(int row);
    QString Cell(int row, int column) const;
    int Rows() const { return main->ListView1->topLevelItemCount(); }
    QString Panel(int panel) const { return main->StatusBar1->PanelText(panel); }

    std::vector<platform::BoxRecord> Boxes() const { return recorder_.Boxes(); }
    void ClearBoxes() { recorder_.Clear(); }

    std::string lastFilter;
    std::optional<std::string> pickedFolder;
    std::unique_ptr<TMainForm> main;
    TOptionsForm* options = nullptr;

  private:
    testing_support::BoxRecorder recorder_;
    QTemporaryDir dir_;
    std::optional<QStringList> nextFiles_;
};

}  // namespace uitest
