#pragma once

#include <string>

namespace platform {

// Takes the named single-instance guard for the life of the process. False when another running
// process holds it. The guard goes with the process, however it ends.
// True as well when no guard can be made at all (no writable runtime folder).
bool AcquireInstanceGuard(const std::string& name);

}  // namespace platform
