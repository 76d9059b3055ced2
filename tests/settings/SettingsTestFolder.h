#pragma once

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DocumentsFolder.h"
#include "Locale.h"
#include "ProgramDir.h"

// A temporary program folder with its own Documents folder; every test starts without a
// settings file.
class SettingsTestFolder {
  public:
    SettingsTestFolder() {
        platform::SetProgramDirForTesting(Dir());
        platform::SetDocumentsFolderForTesting(Dir() + "Documents");
    }
    ~SettingsTestFolder() {
        std::error_code ignored;
        std::filesystem::permissions(Dir(), std::filesystem::perms::owner_all, ignored);
        platform::SetProgramDirForTesting("");
        platform::SetDocumentsFolderForTesting("");
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
    void LockFolder() const {
        std::filesystem::permissions(
            Dir(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }

  private:
    QTemporaryDir dir_;
};
