// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "MessageBox.h"

// How one file of a batch ended.
enum class FileOutcome {
    Converted,  // every byte of its data went through the encoder and the output was closed
    Failed,     // a message told why; the batch went on
    Stopped,    // a stop request ended it; the partial output was closed and kept (unless staged)
    Skipped,    // a staged output that must not replace one that appeared meanwhile was dropped
};

// What a running batch tells the world. Called on the worker's thread, in order; an implementation
// that serves a window hands the calls to the window's thread in the same order.
class ConversionReporter : public platform::MessageTarget {
  public:
    // A file's turn begins: its label shows the path, both bars go back to 0.
    virtual void FileStarted(const std::string& /*sourcePath*/) {}
    // After each block: the current file's bar and the whole batch's bar, 0 to 100.
    virtual void Progress(int /*current*/, int /*total*/) {}
    virtual void FileFinished(const std::string& /*sourcePath*/, FileOutcome /*outcome*/) {}
    // The batch is over (its list done or a stop request seen). Called exactly once.
    virtual void BatchEnded() {}
    // Every box of the conversion and its back-ends; unless taken over, a real box that holds the
    // worker until it is dismissed.
    void Show(const platform::BoxRecord& box) override { platform::ProcessMessages().Show(box); }
};
