#pragma once

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

}  // namespace platform
