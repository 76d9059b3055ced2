// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <string>

#include "Library.h"
#include "MessageBox.h"

namespace encoders {

struct EntryPoint {
    const char* name;
    void** slot;
};

// Loads a back-end's library and resolves its entry points in the given order. At the first
// library or entry point that is missing it shows one box with the back-end's caption through
// `messages` and resolves nothing further. Returns the library handle (null if it did not load); a
// handle is returned even when an entry point is missing, so the caller unloads it in its
// destructor.
platform::LibraryHandle LoadEncoderLibrary(const std::string& bareName, const std::string& caption,
                                           std::initializer_list<EntryPoint> entryPoints,
                                           platform::MessageTarget& messages);

// Typed resolution of a function-pointer member.
template <typename Fn>
EntryPoint Entry(const char* name, Fn& slot) {
    return {name, reinterpret_cast<void**>(&slot)};
}

}  // namespace encoders
