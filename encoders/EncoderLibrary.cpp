// SPDX-License-Identifier: GPL-3.0-or-later
#include "EncoderLibrary.h"

namespace encoders {

platform::LibraryHandle LoadEncoderLibrary(const std::string& bareName, const std::string& caption,
                                           std::initializer_list<EntryPoint> entryPoints,
                                           platform::MessageTarget& messages) {
    platform::LibraryHandle library = platform::LoadLibrary(bareName);
    if (library == nullptr) {
        messages.MessageBox("Could not load " + platform::PlatformLibraryName(bareName) + " file",
                            caption, platform::MbOk);
        return nullptr;
    }
    for (const EntryPoint& entry : entryPoints) {
        *entry.slot = platform::ResolveEntryPoint(library, entry.name);
        if (*entry.slot == nullptr) {
            messages.MessageBox(std::string("Could not found ") + entry.name + " library function",
                                caption, platform::MbOk);
            break;
        }
    }
    return library;
}

}  // namespace encoders
