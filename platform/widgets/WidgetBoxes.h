// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace platform {

// Makes the default message sink show real boxes while a widget application runs: a modal box on
// the user-interface thread; from another thread, a box without an owner window that the
// user-interface thread shows and that blocks only the caller.
void InstallWidgetBoxes();

}  // namespace platform
