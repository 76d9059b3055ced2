// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "IniFile.h"

// The four windows a pack dresses; any of them may be missing (null).
struct LanguageWindows {
    QWidget* Main = nullptr;     // "MainForm"
    QWidget* About = nullptr;    // "AboutForm"
    QWidget* Process = nullptr;  // "ProcessForm"
    QWidget* Options = nullptr;  // "OptionsForm"
};

// Sets the pack's font name and size on the windows (main, About, progress, options, in that
// order) and every text of the language table on the control of that name inside its window,
// decoded by the pack's character set, which each window also keeps as its "CharSet" property.
// A key missing from the pack empties its target. A null pack acts like a missing file.
// Returns "window letter/control" for each row whose control is absent from an existing window or
// is not of the kind the row needs.
std::vector<std::string> ApplyLanguagePackToWindows(const platform::IniFile* pack,
                                                    const LanguageWindows& windows);

// The whole language step: chooses the pack (at the first start this writes the settings file),
// makes `current` a reader for it and applies it. When the settings file refuses the write, the
// error is shown in the standard error box and `current` and the windows stay as they were.
// Returns whether the pack was applied.
bool ApplyLanguagePack(std::unique_ptr<platform::IniFile>& current, const LanguageWindows& windows);
