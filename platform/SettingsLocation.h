// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// Where a settings file lives. An installed program keeps it in each user's configuration folder,
// root's included, and takes an administrator's copy in the system's configuration folders as its
// starting values. Any other copy (a build folder, an unpacked portable copy) keeps it beside the
// program when the user can write there, and takes its starting values from there otherwise.
struct SettingsLocation {
    // The file every write goes to, and every read once it exists.
    std::string Path;
    // The administrator's file while Path lies elsewhere; else empty.
    std::string Defaults;

    // Path once it exists; before that the administrator's file, when this user can read it.
    std::string ReadPath() const;
    // Makes the first write possible: creates Path's folder and, while Path does not exist yet,
    // copies the administrator's file there when this user can read it. False when the system
    // refuses.
    bool PrepareWrite() const;
};

// The file an installation puts into the program's folder (resources/package/CMakeLists.txt);
// build folders and unpacked copies lack it.
inline constexpr char InstalledMarker[] = "installed-copy";

// What the rule needs to know about the program's folder.
struct ProgramFolder {
    std::string Dir;  // ends in the separator
    bool Installed = false;
    bool Writable = false;  // for this user
};

// Looks at the folder on the disk.
ProgramFolder ExamineProgramFolder(const std::string& dir);

// $XDG_CONFIG_DIRS as the environment has it: folders separated by ':'.
std::string SystemConfigDirs();

// The rule itself, for the windows and the command-line tool alike: fileName in configHome's
// "sonvert" folder for an installed copy or a program folder the user cannot write, otherwise
// beside the program. An empty configHome keeps the file beside the program. An installed copy's
// folder belongs to the package, so its administrator's file is the first readable one in the
// "sonvert" folders of configDirs (empty: /etc/xdg); any other copy's lies beside the program.
SettingsLocation LocateSettings(const ProgramFolder& program, const std::string& configHome,
                                const std::string& fileName,
                                const std::string& configDirs = SystemConfigDirs());

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config, else the account's home folder
// followed by .config; empty when none is known.
// Tests may point it elsewhere.
std::string UserConfigHome();

// Replaces the folder UserConfigHome() reports; an empty text restores the real one.
void SetConfigHomeForTesting(const std::string& dir);

}  // namespace platform
