// SPDX-License-Identifier: GPL-3.0-or-later
// Holds one test-double encoder library loaded, so its control block survives the back-ends'
// own load and unload, and points the program's folder at the double's folder.
#pragma once

#include <string>

#include "DoubleControl.h"

namespace testing_support {

class DoubleLibrary {
  public:
    // variant: "complete" or "no_<entry point>"; library: "lame_enc", "vorbis" or "wmaudsdk".
    DoubleLibrary(const std::string& variant, const std::string& library);
    ~DoubleLibrary();
    DoubleLibrary(const DoubleLibrary&) = delete;
    DoubleLibrary& operator=(const DoubleLibrary&) = delete;

    DoubleControl& Control() { return *control_; }
    std::string Log() const { return log_(); }

    // The folder that holds the variant; back-ends load from here while this object lives.
    static std::string Folder(const std::string& variant);

  private:
    void* handle_ = nullptr;
    DoubleControl* control_ = nullptr;
    const char* (*log_)() = nullptr;
};

}  // namespace testing_support
