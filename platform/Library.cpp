// SPDX-License-Identifier: GPL-3.0-or-later
#include "Library.h"

#include "ProgramDir.h"

#include <dlfcn.h>
#include <filesystem>

namespace platform {

std::string PlatformLibraryName(const std::string& bareName) {
    const auto dot = bareName.rfind('.');
    const std::string stem = dot == std::string::npos ? bareName : bareName.substr(0, dot);
    return stem + ".so";
}

LibraryHandle LoadLibrary(const std::string& bareName) {
    const std::string fileName = PlatformLibraryName(bareName);
    const std::string local = ProgramDir() + fileName;
    std::error_code error;
    if (std::filesystem::is_regular_file(local, error)) {
        if (LibraryHandle handle = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            return handle;
        }
    }
    return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* ResolveEntryPoint(LibraryHandle library, const char* name) {
    return library == nullptr ? nullptr : dlsym(library, name);
}

void FreeLibrary(LibraryHandle library) {
    if (library != nullptr) {
        dlclose(library);
    }
}

}  // namespace platform
