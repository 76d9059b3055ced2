// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>

#include "ConversionOptions.h"
#include "SettingsLocation.h"

// An error raised while reading or writing the settings file. A window's event handler that meets
// one shows it in the standard error box and skips the rest of its work.
class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where "Sonvert.ini" lives for this user: in their configuration folder, with the program folder's
// copy as the starting values, when the program is installed or its folder is read-only to them;
// else beside the program.
platform::SettingsLocation SettingsFileLocation();
// The file every write goes to, and the one that messages name.
std::string SettingsPath();
// The file reads come from: SettingsPath() once it exists, else the administrator's copy.
std::string SettingsReadPath();
// Readies SettingsPath() for its first write; throws SettingsError ("Unable to write to %s").
void PrepareSettingsWrite();
// The user's Documents folder followed by the separator.
std::string DefaultOutputDir();

// Key by key, in a fixed order. Throws SettingsError ("'%s' is not a valid integer value");
// fields loaded before the bad key keep their new values.
void ReadSettingsFile(ConversionOptions& options, std::string& language);
// Key by key, in a fixed order. Throws SettingsError ("Unable to write to %s"); keys written
// before the refused write stay written.
void WriteSettingsFile(const ConversionOptions& options, const std::string& language);
