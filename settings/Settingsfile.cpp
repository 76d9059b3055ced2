#include "Settingsfile.h"

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

    const std::string format = ini.ReadString("General", "OutputFormat", "");
    options.OutputFormat = format == "2"   ? OutputFormat::WMA
                           : format == "3" ? OutputFormat::OGG
                                           : OutputFormat::MP3;
    options.CustomDir = ReadFlag(ini, "General", "CustomDir");
    const std::string dir = ini.ReadString("General", "OutputDir", "");
    options.OutputDir = dir.empty() ? DefaultOutputDir() : dir;
    language = ini.ReadString("General", "Language", "");

    options.Mp3BitrateIndex = ReadNumber(ini, "MP3", "Bitrate", 3);
    options.Mp3Crc = ReadFlag(ini, "MP3", "CRC");
    options.Mp3Copyright = ReadFlag(ini, "MP3", "Copyright");
    options.Mp3Original = ReadFlag(ini, "MP3", "Original");
    options.Mp3Private = ReadFlag(ini, "MP3", "Private");

    options.WmaBitrateIndex = ReadNumber(ini, "WMA", "Bitrate", 3);

    const int level = ReadNumber(ini, "OGG", "Quality", 3);
    // The lowest int has no predecessor; it stays out of range either way.
    options.OggQualityIndex = level == std::numeric_limits<int>::min() ? level : level - 1;
}

void WriteSettingsFile(const ConversionOptions& options, const std::string& language) {
    PrepareSettingsWrite();
    platform::IniFile ini(SettingsPath());

    Write(ini, "General", "OutputFormat",
          std::to_string(static_cast<int>(options.OutputFormat) + 1));
    Write(ini, "General", "CustomDir", Flag(options.CustomDir));
    Write(ini, "General", "OutputDir", options.OutputDir);
    Write(ini, "General", "Language", language);

    Write(ini, "MP3", "Bitrate", std::to_string(options.Mp3BitrateIndex));
    Write(ini, "MP3", "CRC", Flag(options.Mp3Crc));
    Write(ini, "MP3", "Copyright", Flag(options.Mp3Copyright));
    Write(ini, "MP3", "Original", Flag(options.Mp3Original));
    Write(ini, "MP3", "Private", Flag(options.Mp3Private));

    Write(ini, "WMA", "Bitrate", std::to_string(options.WmaBitrateIndex));

    Write(ini, "OGG", "Quality",
          std::to_string(static_cast<long long>(options.OggQualityIndex) + 1));
}
