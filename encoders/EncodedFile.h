// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "MessageBox.h"
#include "OutputFile.h"

namespace encoders {

// The output file of a back-end whose library only encodes into a buffer (MP3, Ogg). A write or
// close that the system refuses is reported once, with the back-end's caption, so a truncated file
// never passes for a converted one.
class EncodedFile {
  public:
    EncodedFile(std::string caption, platform::MessageTarget& messages)
        : caption_(std::move(caption)), messages_(messages) {}

    // Shows "Can not create the file." on failure.
    bool Create(const std::string& path);
    // Shows "Can not write the file." on failure; later appends and the close stay silent.
    bool Append(const uint8_t* data, uint32_t size);
    bool Close();
    bool Failed() const { return failed_; }

  private:
    void ReportWriteFailure();

    std::string caption_;
    platform::MessageTarget& messages_;
    platform::OutputFile file_;
    bool failed_ = false;
};

}  // namespace encoders
