// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3Stream.h"

namespace lamestandin {

bool SingleStream::Encode(const int16_t* values, uint32_t count, uint8_t* output, uint32_t capacity,
                          uint32_t* produced) {
    if (channels_ == 2) {
        if (hasPendingValue_ && count > 0) {
            joined_.assign(1, pendingValue_);
            joined_.insert(joined_.end(), values, values + count);
            values = joined_.data();
            ++count;
            hasPendingValue_ = false;
        }
        if (count % 2 != 0) {
            hasPendingValue_ = true;
            pendingValue_ = values[count - 1];
            --count;
        }
    }
    const int encoded =
        EncodeInto(lame_.get(), channels_, values, static_cast<int>(count) / channels_, output,
                   static_cast<int>(capacity));
    if (encoded < 0) {
        return false;
    }
    *produced = static_cast<uint32_t>(encoded);
    return true;
}

bool SingleStream::Finish(uint8_t* output, uint32_t capacity, uint32_t* produced) {
    const int encoded = FlushInto(lame_.get(), true, output, static_cast<int>(capacity));
    if (encoded < 0) {
        return false;
    }
    *produced = static_cast<uint32_t>(encoded);
    return true;
}

}  // namespace lamestandin
