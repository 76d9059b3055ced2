#pragma once

#include <string>
#include <vector>

namespace platform {

// Names (no folder) of the regular files in a folder whose names end in ".ini" without regard to
// case, hidden files included, sorted by name. Folders are left out; an unreadable or missing
// folder gives an empty list.
std::vector<std::string> ListIniFiles(const std::string& folder);

}  // namespace platform
