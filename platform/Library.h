// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;

// The platform's file name for a library named by its Windows bare name ("lame_enc.dll" gives
// "lame_enc.so" here).
std::string PlatformLibraryName(const std::string& bareName);

// Loads by bare name: the program's folder first, then the system's usual search.
// Returns null when the library cannot be loaded.
LibraryHandle LoadLibrary(const std::string& bareName);
void* ResolveEntryPoint(LibraryHandle library, const char* name);
void FreeLibrary(LibraryHandle library);

}  // namespace platform
