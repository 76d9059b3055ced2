// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "AudioSource.h"
#include "ConversionOptions.h"
#include "ConversionReporter.h"

// What a conversion promises beyond the windows' own behaviour; the command line turns it on.
struct OutputGuard {
    // Each output is written under a temporary name and renamed into place once complete; a
    // stopped or failed file leaves nothing behind and an output that existed stays as it was.
    bool staged = false;
    // With staged: an output that exists by the time the file is complete is never replaced.
    bool keepExisting = false;
};

// Which readers a conversion tries on a source. The windows' own: none of these.
struct SourceReaders {
    // The list's probe runs before the worker's header checks, so that a file is refused with the
    // message the windows' list gives.
    bool ProbeFirst = false;
    // Opens what the classic reader refuses (the stream stays the caller's); null after a box.
    // Empty: the classic reader's refusal stands.
    std::function<std::unique_ptr<AudioSource>(std::FILE*, const std::string& source,
                                               platform::MessageTarget&)>
        Second;
};

// Converts WAVE files one at a time, each into the output its caller worked out, all with the same
// options. Progress, outcome and every box, the back-ends' included, go to the reporter.
class FileConversion {
  public:
    // `stop` is looked at after each block: the block is finished and the file closed.
    FileConversion(const ConversionOptions& options, const OutputGuard& guard,
                   ConversionReporter& reporter, const std::atomic<bool>& stop);

    // Opens a source for reading; tests give one that fails part-way. Empty: the real file.
    std::function<std::FILE*(const std::string&)> SourceOpener;

    SourceReaders Inputs;

    // The file is number `index` (from 0) of the `count` a batch's bar stands for.
    FileOutcome Convert(const std::string& source, const std::string& output, int index = 0,
                        int count = 1);

  private:
    std::unique_ptr<AudioSource> OpenSource(const std::string& source, std::FILE* file);
    FileOutcome Run(const std::string& source, const std::string& output, int index, int count);

    ConversionOptions options_;
    OutputGuard guard_;
    ConversionReporter& reporter_;
    const std::atomic<bool>& stop_;
    // The outputs written so far, each with its source: two sources of one name converted into one
    // folder must not silently overwrite each other.
    std::map<std::filesystem::path, std::string> written_;
};
