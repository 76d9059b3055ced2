// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// Takes the named single-instance guard for the life of the process, a lock file in the user's
// own run-time folder (RuntimeFolder()). False only when another running process holds it. The
// guard goes with the process, however it ends. True as well when no guard can be had at all (no
// private folder, no lock).
bool AcquireInstanceGuard(const std::string& name);

}  // namespace platform
