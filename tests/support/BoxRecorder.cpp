// SPDX-License-Identifier: GPL-3.0-or-later
#include "BoxRecorder.h"

namespace testing_support {

BoxRecorder::BoxRecorder() {
    previous_ = platform::SetMessageSink([this](const platform::BoxRecord& box) {
        std::lock_guard lock(mutex_);
        boxes_.push_back(box);
    });
}

BoxRecorder::~BoxRecorder() {
    platform::SetMessageSink(previous_);
}

std::vector<platform::BoxRecord> BoxRecorder::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<std::string> BoxRecorder::Lines() const {
    std::vector<std::string> lines;
    for (const auto& box : Boxes()) {
        lines.push_back(box.caption + "|" + box.text);
    }
    return lines;
}

void BoxRecorder::Clear() {
    std::lock_guard lock(mutex_);
    boxes_.clear();
}

}  // namespace testing_support
