// SPDX-License-Identifier: GPL-3.0-or-later
#include "BufferedBackEnd.h"

namespace encoders {

BufferedBackEnd::BufferedBackEnd(const char* caption, platform::MessageTarget& messages)
    : caption_(caption), messages_(messages), file_(caption, messages) {}

BufferedBackEnd::~BufferedBackEnd() {
    file_.Close();
    if (library_ != nullptr) {
        platform::FreeLibrary(library_);
    }
}

void BufferedBackEnd::Load(const std::string& bareName,
                           std::initializer_list<EntryPoint> entryPoints) {
    library_ = LoadEncoderLibrary(bareName, caption_, entryPoints, messages_);
    usable_ =
        library_ != nullptr && std::all_of(entryPoints.begin(), entryPoints.end(),
                                           [](const EntryPoint& e) { return *e.slot != nullptr; });
}

void BufferedBackEnd::Report(const char* text) {
    messages_.MessageBox(text, caption_, platform::MbOk);
}

int BufferedBackEnd::Start(const std::string& path, uint32_t samplesPerChunk, uint32_t bufferSize) {
    if (!file_.Create(path)) {
        return -1;
    }
    buffer_.reset(new uint8_t[bufferSize]);
    bufferSize_ = bufferSize;
    open_ = true;
    return static_cast<int>(samplesPerChunk * 2);
}

void BufferedBackEnd::EndFile() {
    open_ = false;
    buffer_.reset();
    bufferSize_ = 0;
    file_.Close();
}

}  // namespace encoders
