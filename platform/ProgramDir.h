// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

// The path separator of this platform, as text rules need it.
inline constexpr char PathSeparator = '/';

// The folder of the running executable, ending in the separator. Tests may point it elsewhere.
std::string ProgramDir();

// Replaces the folder ProgramDir() reports; an empty text restores the real one.
void SetProgramDirForTesting(const std::string& dir);

}  // namespace platform
