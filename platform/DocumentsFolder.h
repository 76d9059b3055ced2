// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// The user's Documents folder without a trailing separator; the home folder when the system
// names no Documents folder.
std::string DocumentsFolder();

// Makes DocumentsFolder() report the given folder; an empty text restores the real one.
void SetDocumentsFolderForTesting(const std::string& folder);

}  // namespace platform
