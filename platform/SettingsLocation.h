#pragma once

#include <string>

namespace platform {

// Where a settings file lives. In a folder the user can write (a build folder, a portable copy) it
// stays beside the program; an installed program keeps it in the user's configuration folder and
// takes an administrator's copy beside the program as its starting values.
struct SettingsLocation {
    // The file every write goes to, and every read once it exists.
    std::string Path;
    // The administrator's file beside the program while Path lies elsewhere; else empty.
    std::string Defaults;

    // Path once it exists; before that the administrator's file, when there is one.
    std::string ReadPath() const;
    // Makes the first write possible: creates Path's folder and, while Path does not exist yet,
    // copies the administrator's file there. False when the system refuses.
    bool PrepareWrite() const;
};

// The rule itself: fileName in programDir when the user can write there, otherwise in configHome's
// "sonvert" folder. An empty configHome keeps the file beside the program.
SettingsLocation LocateSettings(const std::string& programDir, const std::string& configHome,
                                const std::string& fileName);

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; empty when neither is known.
// Tests may point it elsewhere.
std::string UserConfigHome();

// Replaces the folder UserConfigHome() reports; an empty text restores the real one.
void SetConfigHomeForTesting(const std::string& dir);

}  // namespace platform
