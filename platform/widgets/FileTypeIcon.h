// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

#include <string>

namespace platform {

// The desktop's small icon for files with this extension (dot included, or empty), found without
// opening any file. A generic file icon when the desktop names none.
QIcon SmallFileTypeIcon(const std::string& extension);

}  // namespace platform
