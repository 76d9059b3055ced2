// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "EncodedFile.h"
#include "EncoderLibrary.h"
#include "Library.h"
#include "MessageBox.h"

namespace encoders {

// A back-end whose library only encodes into a buffer that we write out (MP3, Ogg): the library,
// that buffer and the output file, with the boxes raised under the back-end's caption.
class BufferedBackEnd {
  public:
    BufferedBackEnd(const BufferedBackEnd&) = delete;
    BufferedBackEnd& operator=(const BufferedBackEnd&) = delete;

    // True once the output file refused a write or its close.
    bool FileFailed() const { return file_.Failed(); }

  protected:
    BufferedBackEnd(const char* caption, platform::MessageTarget& messages);
    ~BufferedBackEnd();

    void Load(const std::string& bareName, std::initializer_list<EntryPoint> entryPoints);
    // Only a library with every entry point resolved may be called.
    bool Usable() const { return usable_; }
    bool IsOpen() const { return open_; }
    void Report(const char* text);

    // Once the library has started its stream: creates the file and the buffer the library asked
    // for. Returns the block size in bytes, or -1.
    int Start(const std::string& path, uint32_t samplesPerChunk, uint32_t bufferSize);

    // Calls an entry point with the buffer and the byte count after `args` and appends what it
    // delivered; a failed call shows `failure` and appends nothing.
    template <typename Fn, typename... Args>
    bool Encode(const char* failure, Fn fn, Args... args) {
        if (!open_) {
            return false;
        }
        if (fn(args..., buffer_.get(), &outputBytes_) != 0) {
            Report(failure);
            return false;
        }
        return file_.Append(buffer_.get(), DeliveredBytes());
    }

    // Flushes the stream's last bytes into the file; a failed flush shows `failure`, if any, and
    // appends nothing. Returns whether the flush succeeded.
    template <typename Fn, typename Stream>
    bool Flush(const char* failure, Fn fn, Stream stream) {
        const bool flushed = fn(stream, buffer_.get(), &outputBytes_) == 0;
        if (flushed) {
            file_.Append(buffer_.get(), DeliveredBytes());
        } else if (failure != nullptr) {
            Report(failure);
        }
        return flushed;
    }

    // Frees the buffer and closes the file.
    void EndFile();

    // "<name><major>.<minor>" from the version record the entry point fills.
    template <typename Ret, typename Version>
    std::string VersionText(const char* name, Ret (*fn)(Version*)) {
        if (!usable_) {
            return {};
        }
        Version version{};
        fn(&version);
        return name + std::to_string(version.engineMajor) + "." +
               std::to_string(version.engineMinor);
    }

    uint32_t DeliveredBytes() const {
        // A library that claims more than its buffer holds must not make us read past it.
        return std::min<uint32_t>(outputBytes_, bufferSize_);
    }

  private:
    const char* caption_;
    platform::MessageTarget& messages_;
    platform::LibraryHandle library_ = nullptr;
    bool usable_ = false;
    EncodedFile file_;
    // Left uninitialised: a library sizes it for the most it may owe at its end, and pages it
    // never writes then cost no memory.
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t bufferSize_ = 0;
    uint32_t outputBytes_ = 0;
    bool open_ = false;
};

}  // namespace encoders
