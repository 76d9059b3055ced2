// SPDX-License-Identifier: GPL-3.0-or-later
#include "Languagetable.h"

#include <cstring>

namespace {
using T = LanguageTarget;
}

const std::array<LanguageTableRow, 50> LanguageTable{{
    {"ToolBar", "Add", 'M', "SpeedButtonAdd", T::Caption, 0, "Add"},
    {"ToolBar", "Remove", 'M', "SpeedButtonRemove", T::Caption, 0, "Remove"},
    {"ToolBar", "Clear", 'M', "SpeedButtonClear", T::Caption, 0, "Clear"},
    {"ToolBar", "Convert", 'M', "SpeedButtonConvert", T::Caption, 0, "Convert"},
    {"ToolBar", "Options", 'M', "SpeedButtonOptions", T::Caption, 0, "Options"},
    {"ToolBar", "About", 'M', "SpeedButtonAbout", T::Caption, 0, "About"},
    {"ToolBar", "Update", 'M', "SpeedButtonUpdate", T::Caption, 0, "Update"},
    {"Hint", "Add", 'M', "SpeedButtonAdd", T::Hint, 0, "Add wav files"},
    {"Hint", "Remove", 'M', "SpeedButtonRemove", T::Hint, 0, "Remove wav files"},
    {"Hint", "Clear", 'M', "SpeedButtonClear", T::Hint, 0, "Clear all wav files"},
    {"Hint", "Convert", 'M', "SpeedButtonConvert", T::Hint, 0, "Convert wav files to mp3"},
    {"Hint", "Options", 'M', "SpeedButtonOptions", T::Hint, 0, "Options"},
    {"Hint", "About", 'M', "SpeedButtonAbout", T::Hint, 0, "About"},
    {"Hint", "Update", 'M', "SpeedButtonUpdate", T::Hint, 0, "Update"},
    {"ListView", "Name", 'M', "ListView1", T::ColumnTitle, 0, "Wave Files"},
    {"ListView", "Path", 'M', "ListView1", T::ColumnTitle, 1, "Path"},
    {"ListView", "Sample", 'M', "ListView1", T::ColumnTitle, 2, "Sample Rate"},
    {"ListView", "Channels", 'M', "ListView1", T::ColumnTitle, 3, "Channels"},
    {"ListView", "Size", 'M', "ListView1", T::ColumnTitle, 4, "Size"},
    {"ListView", "Time", 'M', "ListView1", T::ColumnTitle, 5, "Time"},
    {"OpenDialog", "Filter", 'M', "OpenDialog1", T::Filter, 0,
     "WAVE Files(*.wav)|*.wav|All Files(*.*)|*.*"},
    {"AboutForm", "Caption", 'A', "", T::WindowCaption, 0, "About"},
    {"AboutForm", "Version", 'A', "Label2", T::Caption, 0, "Version:"},
    {"AboutForm", "HomePage", 'A', "Label3", T::Caption, 0, "Home page:"},
    {"AboutForm", "MP3Encoder", 'A', "Label5", T::Caption, 0, "MP3 Encoder:"},
    {"AboutForm", "WMAEncoder", 'A', "Label7", T::Caption, 0, "WMA Encoder:"},
    {"AboutForm", "OGGEncoder", 'A', "Label9", T::Caption, 0, "OGG Encoder:"},
    {"Common", "Ok", 'A', "ButtonOk", T::Caption, 0, "OK"},
    {"ProcessForm", "Caption", 'P', "", T::WindowCaption, 0, "Processing"},
    {"ProcessForm", "Current", 'P', "Label2", T::Caption, 0, "Current process:"},
    {"ProcessForm", "Total", 'P', "Label3", T::Caption, 0, "Total process:"},
    {"Common", "Cancel", 'P', "ButtonCancel", T::Caption, 0, "Cancel"},
    {"OptionsForm", "Caption", 'O', "", T::WindowCaption, 0, "Options"},
    {"OptionsForm", "General", 'O', "TabSheet1", T::TabTitle, 0, "General"},
    {"OptionsForm", "OutputFormat", 'O', "GroupBox1", T::GroupTitle, 0, "Output Format"},
    {"OptionsForm", "OutputDir", 'O', "GroupBox2", T::GroupTitle, 0, "Output Directory"},
    {"OptionsForm", "Language", 'O', "GroupBox3", T::GroupTitle, 0, "Language"},
    {"OptionsForm", "RadioSourceDir", 'O', "RadioSourceDir", T::Caption, 0,
     "The same as source file"},
    {"OptionsForm", "RadioCustomDir", 'O', "RadioCustomDir", T::Caption, 0, "Custom"},
    {"OptionsForm", "Bitrate", 'O', "GroupBox4", T::GroupTitle, 0, "Bitrate"},
    {"OptionsForm", "Sign", 'O', "GroupBox5", T::GroupTitle, 0, "Sign"},
    {"OptionsForm", "CheckCRC", 'O', "CheckBoxMP3CRC", T::Caption, 0, "CRC"},
    {"OptionsForm", "CheckCopyright", 'O', "CheckBoxMP3Copyright", T::Caption, 0, "Copyright"},
    {"OptionsForm", "CheckOriginal", 'O', "CheckBoxMP3Original", T::Caption, 0, "Original"},
    {"OptionsForm", "CheckPrivate", 'O', "CheckBoxMP3Private", T::Caption, 0, "Private"},
    {"OptionsForm", "Bitrate", 'O', "GroupBox6", T::GroupTitle, 0, "Bitrate"},
    {"OptionsForm", "Quality", 'O', "GroupBox7", T::GroupTitle, 0, "Quality"},
    {"Common", "Default", 'O', "ButtonDefault", T::Caption, 0, "Default"},
    {"Common", "Ok", 'O', "ButtonOk", T::Caption, 0, "OK"},
    {"Common", "Cancel", 'O', "ButtonCancel", T::Caption, 0, "Cancel"},
}};

const char* BuiltInText(char window, const char* control, LanguageTarget target, int column) {
    for (const LanguageTableRow& row : LanguageTable) {
        if (row.Window == window && std::strcmp(row.Control, control) == 0 &&
            row.Target == target && row.Column == column) {
            return row.BuiltIn;
        }
    }
    return nullptr;
}
