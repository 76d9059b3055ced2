// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

// Whether this process could build the sandbox a web engine's helper processes run in: a child
// makes a new user namespace and maps its own user and group into it. Making the namespace is not
// enough: a system may allow that and still refuse the mapping (Ubuntu's AppArmor restriction of
// unprivileged namespaces), and the engine then aborts the whole process.
bool UserNamespaceSandboxWorks();

}  // namespace platform
