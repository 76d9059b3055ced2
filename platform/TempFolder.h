// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The user's temporary folder as the system reports it; it may or may not end in the separator.
// Tests may point it elsewhere.
std::string TempFolder();

// Replaces the folder TempFolder() reports; an empty text restores the real one.
void SetTempFolderForTesting(const std::string& dir);

// Appends the separator unless the folder's last separator is its last character (also when it
// holds no separator at all).
std::string WithTrailingSeparator(const std::string& folder, char separator);

// The folder for the files the program makes for itself while it runs, which no other user may
// reach: `runtimeDir` ($XDG_RUNTIME_DIR) when it is an absolute path to a folder of this user's
// own that nobody else may enter, otherwise "sonvert-<uid>" in `tempDir`, created with mode 0700
// or, when this user already owns it, brought back to that mode. Empty when neither will do: a
// folder of that name that someone else owns, or a symbolic link in its place, is never used.
std::string PrivateFolder(const std::string& runtimeDir, const std::string& tempDir);

// PrivateFolder() for this process: $XDG_RUNTIME_DIR and TempFolder().
std::string RuntimeFolder();

// Writes `size` bytes to a new file at `path` (mode 0600), replacing whatever lay there under
// that name without following a symbolic link. Returns an empty text on success, else the
// system's reason.
std::string WriteNewFile(const std::string& path, const char* data, std::size_t size);

}  // namespace platform
