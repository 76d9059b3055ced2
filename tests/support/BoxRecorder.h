// SPDX-License-Identifier: GPL-3.0-or-later
// Records every message box instead of showing it, for the life of the object.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "MessageBox.h"

namespace testing_support {

class BoxRecorder {
  public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<platform::BoxRecord> Boxes() const;
    // "caption|text" of each box, in order.
    std::vector<std::string> Lines() const;
    void Clear();

  private:
    mutable std::mutex mutex_;
    std::vector<platform::BoxRecord> boxes_;
    platform::MessageSink previous_;
};

}  // namespace testing_support
