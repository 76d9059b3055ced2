// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// Whether names in the folder match without regard to case (FAT, exFAT, CIFS, a casefolded ext4
// folder): two outputs that differ only in case would be one file there. A folder that does not
// exist yet is judged by the nearest one above it that does; one that cannot be probed (not
// writable) counts as case-sensitive.
bool FolderFoldsCase(const std::string& folder);

}  // namespace platform
