// SPDX-License-Identifier: GPL-3.0-or-later
#include "DoubleLibrary.h"

#include <dlfcn.h>

#include <stdexcept>

#include "ProgramDir.h"

namespace testing_support {

std::string DoubleLibrary::Folder(const std::string& variant) {
    return std::string(SONVERT_DOUBLES_DIR) + "/" + variant + "/";
}

DoubleLibrary::DoubleLibrary(const std::string& variant, const std::string& library) {
    const std::string path = Folder(variant) + library + ".so";
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load " + path);
    }
    control_ = reinterpret_cast<DoubleControl* (*)()>(dlsym(handle_, "double_control"))();
    log_ = reinterpret_cast<const char* (*)()>(dlsym(handle_, "double_log"));
    reinterpret_cast<void (*)()>(dlsym(handle_, "double_reset"))();
    platform::SetProgramDirForTesting(Folder(variant));
}

DoubleLibrary::~DoubleLibrary() {
    platform::SetProgramDirForTesting("");
    dlclose(handle_);
}

}  // namespace testing_support
