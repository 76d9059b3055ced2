// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

// Which part of a window a pack text goes to.
enum class LanguageTarget {
    Caption,        // text of a tool button, push button, radio button, check box or label
    GroupTitle,     // title of a group box
    Hint,           // tooltip of a tool button
    ColumnTitle,    // title of a column of the file list (Column gives which)
    Filter,         // file-type filter of the Add command's file dialog
    WindowCaption,  // caption of the window itself (Control is empty)
    TabTitle,       // title of a tab page
};

// One text of a language pack and the control it lands on. Window: 'M' main window, 'A' About
// dialog, 'P' progress dialog, 'O' options dialog. BuiltIn is what the control shows before any
// pack is applied; a pack holding these texts reproduces the built-in interface.
struct LanguageTableRow {
    const char* Section;
    const char* Key;
    char Window;
    const char* Control;
    LanguageTarget Target;
    int Column;
    const char* BuiltIn;
};

// The texts that applying a pack sets, in the order they are set.
extern const std::array<LanguageTableRow, 50> LanguageTable;

// The built-in text of a control's row (the first row for that window and control), or nullptr.
const char* BuiltInText(char window, const char* control, LanguageTarget target, int column = 0);

// Keys that are looked up one by one while the program runs, beyond the table.
struct LanguageKey {
    const char* Section;
    const char* Key;
};
inline constexpr std::array<LanguageKey, 8> LookedUpLanguageKeys{{
    {"StatusBar", "Files"},
    {"OptionsForm", "OutputFormat"},
    {"OptionsForm", "Bitrate"},
    {"OptionsForm", "Quality"},
    {"ListView", "Mono"},
    {"ListView", "Stereo"},
    {"Common", "Message"},
    {"Convert", "Complete"},
}};

// The pack's own description.
inline constexpr std::array<LanguageKey, 4> LanguagePropertyKeys{{
    {"LanguageProperty", "Name"},
    {"LanguageProperty", "FontName"},
    {"LanguageProperty", "FontSize"},
    {"LanguageProperty", "CharSet"},
}};
