// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DocumentsFolder.h"
#include "Locale.h"
#include "ProgramDir.h"
#include "SettingsLocation.h"

// A temporary program folder with its own Documents and configuration folders; every test starts
// without a settings file.
class SettingsTestFolder {
  public:
    SettingsTestFolder() {
        platform::SetProgramDirForTesting(Dir());
        platform::SetDocumentsFolderForTesting(Dir() + "Documents");
        platform::SetConfigHomeForTesting(Dir() + "config");
    }
    ~SettingsTestFolder() {
        std::error_code ignored;
        std::filesystem::permissions(Dir(), std::filesystem::perms::owner_all, ignored);
        platform::SetProgramDirForTesting("");
        platform::SetDocumentsFolderForTesting("");
        platform::SetConfigHomeForTesting("");
        platform::SetUserLanguageIdForTesting(0);
    }
    SettingsTestFolder(const SettingsTestFolder&) = delete;
    SettingsTestFolder& operator=(const SettingsTestFolder&) = delete;

    std::string Dir() const { return dir_.path().toStdString() + "/"; }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    // Locks the program folder and points the configuration folder below a plain file, so that
    // neither place takes the settings file; returns the path messages then name.
    std::string LockFolders() const {
        Write(Dir() + "blocker", "");
        platform::SetConfigHomeForTesting(Dir() + "blocker");
        std::filesystem::permissions(
            Dir(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        return Dir() + "blocker/sonvert/Sonvert.ini";
    }

  private:
    QTemporaryDir dir_;
};
