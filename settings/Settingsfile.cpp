// SPDX-License-Identifier: GPL-3.0-or-later
#include "Settingsfile.h"

#include <algorithm>
#include <limits>

#include "Decimalinteger.h"
#include "DocumentsFolder.h"
#include "IniFile.h"
#include "ProgramDir.h"

namespace {

bool ReadFlag(const platform::IniFile& ini, const char* section, const char* key) {
    return ini.ReadString(section, key, "") == "1";
}

// Empty gives the fallback; anything that is not a decimal integer stops the load.
int ReadNumber(const platform::IniFile& ini, const char* section, const char* key, int fallback) {
    const std::string text = ini.ReadString(section, key, "");
    if (text.empty()) {
        return fallback;
    }
    const auto value = ParseDecimalInteger(text);
    if (!value) {
        throw SettingsError("'" + text + "' is not a valid integer value");
    }
    return *value;
}

void Write(platform::IniFile& ini, const char* section, const char* key, const std::string& value) {
    if (!ini.WriteString(section, key, value)) {
        throw SettingsError("Unable to write to " + ini.Path());
    }
}

const char* Flag(bool value) {
    return value ? "1" : "0";
}

}  // namespace

platform::SettingsLocation SettingsFileLocation() {
    return platform::LocateSettings(platform::ExamineProgramFolder(platform::ProgramDir()),
                                    platform::UserConfigHome(), "Sonvert.ini");
}

std::string SettingsPath() {
    return SettingsFileLocation().Path;
}

std::string SettingsReadPath() {
    return SettingsFileLocation().ReadPath();
}

void PrepareSettingsWrite() {
    const platform::SettingsLocation location = SettingsFileLocation();
    if (!location.PrepareWrite()) {
        throw SettingsError("Unable to write to " + location.Path);
    }
}

std::string DefaultOutputDir() {
    return platform::DocumentsFolder() + platform::PathSeparator;
}

void ReadSettingsFile(ConversionOptions& options, std::string& language) {
    const platform::IniFile ini(SettingsReadPath());

    const std::string code = ini.ReadString("General", "OutputFormat", "");
    options.OutputFormat = OutputFormat::MP3;
    for (std::size_t i = 0; i < Formats.size(); ++i) {
        if (code == Formats[i].Code) {
            options.OutputFormat = static_cast<OutputFormat>(i);
        }
    }
    options.CustomDir = ReadFlag(ini, "General", "CustomDir");
    const std::string dir = ini.ReadString("General", "OutputDir", "");
    options.OutputDir = dir.empty() ? DefaultOutputDir() : dir;
    language = ini.ReadString("General", "Language", "");

    for (std::size_t i = 0; i < Formats.size(); ++i) {
        const FormatFacts& format = Formats[i];
        // An absent key reads as the built-in index's number, so an absent Ogg level gives the
        // entry below the built-in one.
        const int stored = ReadNumber(ini, format.Name, format.ListName, format.DefaultIndex);
        // The lowest int has no predecessor; it stays out of range either way.
        options.*ListIndexOf[i] = static_cast<int>(std::max<long long>(
            1LL * stored - format.StoredOffset, std::numeric_limits<int>::min()));
        if (i == FormatIndex(OutputFormat::MP3)) {
            options.Mp3Crc = ReadFlag(ini, format.Name, "CRC");
            options.Mp3Copyright = ReadFlag(ini, format.Name, "Copyright");
            options.Mp3Original = ReadFlag(ini, format.Name, "Original");
            options.Mp3Private = ReadFlag(ini, format.Name, "Private");
        }
    }
}

void WriteSettingsFile(const ConversionOptions& options, const std::string& language) {
    PrepareSettingsWrite();
    platform::IniFile ini(SettingsPath());

    Write(ini, "General", "OutputFormat", FormatOf(options.OutputFormat).Code);
    Write(ini, "General", "CustomDir", Flag(options.CustomDir));
    Write(ini, "General", "OutputDir", options.OutputDir);
    Write(ini, "General", "Language", language);

    for (std::size_t i = 0; i < Formats.size(); ++i) {
        const FormatFacts& format = Formats[i];
        Write(
            ini, format.Name, format.ListName,
            std::to_string(static_cast<long long>(options.*ListIndexOf[i]) + format.StoredOffset));
        if (i == FormatIndex(OutputFormat::MP3)) {
            Write(ini, format.Name, "CRC", Flag(options.Mp3Crc));
            Write(ini, format.Name, "Copyright", Flag(options.Mp3Copyright));
            Write(ini, format.Name, "Original", Flag(options.Mp3Original));
            Write(ini, format.Name, "Private", Flag(options.Mp3Private));
        }
    }
}
