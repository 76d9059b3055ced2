#include "EncoderLibrary.h"

#include "MessageBox.h"

namespace encoders {

platform::LibraryHandle LoadEncoderLibrary(const std::string& bareName, const std::string& caption,
                                           std::initializer_list<EntryPoint> entryPoints) {
    platform::LibraryHandle library = platform::LoadLibrary(bareName);
    if (library == nullptr) {
        platform::MessageBox("Could not load " + platform::PlatformLibraryName(bareName) + " file",
                             caption, platform::MbOk);
        return nullptr;
    }
    for (const EntryPoint& entry : entryPoints) {
        *entry.slot = platform::ResolveEntryPoint(library, entry.name);
        if (*entry.slot == nullptr) {
            platform::MessageBox(std::string("Could not found ") + entry.name + " library function",
                                 caption, platform::MbOk);
            break;
        }
    }
    return library;
}

bool AllResolved(std::initializer_list<void*> entryPoints) {
    for (void* entry : entryPoints) {
        if (entry == nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace encoders
