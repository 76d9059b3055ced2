#pragma once

#include <stdexcept>
#include <string>

#include "ConversionOptions.h"

// An error raised while reading or writing the settings file. A window's event handler that meets
// one shows it in the standard error box and skips the rest of its work.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// ProgramDir() + "Sonvert.ini".
std::string SettingsPath();
// The user's Documents folder followed by the separator.
std::string DefaultOutputDir();

// Key by key, in a fixed order. Throws SettingsError ("'%s' is not a valid integer value");
// fields loaded before the bad key keep their new values.
void ReadSettingsFile(ConversionOptions& options, std::string& language);
// Key by key, in a fixed order. Throws SettingsError ("Unable to write to %s"); keys written
// before the refused write stay written.
void WriteSettingsFile(const ConversionOptions& options, const std::string& language);
