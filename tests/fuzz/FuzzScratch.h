// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// A file of the fuzzer's own, in a private folder on a memory file system where there is one: the
// readers under test take paths, so every input goes through a real file.
class ScratchFile {
  public:
    explicit ScratchFile(const std::string& name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Path() const { return path_; }
    // Replaces the file's contents; aborts when that fails, as the run would mean nothing.
    void Write(const uint8_t* data, std::size_t size) const;

  private:
    std::string folder_;
    std::string path_;
};

// Boxes are swallowed: they would block, and their texts are not what is being fuzzed.
void SilenceMessageBoxes();

// Ends the run with a report libFuzzer records as a crash, naming the broken property.
[[noreturn]] void PropertyFailed(const char* what);

}  // namespace fuzzing
