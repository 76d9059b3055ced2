// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace platform {

// Names (no folder) of the regular files in a folder whose names end in ".ini" without regard to
// case, hidden files included, sorted by name. Folders are left out; an unreadable or missing
// folder gives an empty list.
std::vector<std::string> ListIniFiles(const std::string& folder);

// Names of every entry of a folder as the file system spells them, in bytes (not always UTF-8),
// without "." and ".."; unsorted. An unreadable or missing folder gives an empty list.
std::vector<std::string> ListEntryNames(const std::string& folder);

}  // namespace platform
