// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The program's own artwork, compiled into the program. "name" is the file name without ".svg".
QIcon Glyph(const char* name);

// The program's icon: windows, the About dialog and the desktop entry.
QIcon ProgramIcon();
