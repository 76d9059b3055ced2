// SPDX-License-Identifier: GPL-3.0-or-later
// Maps the 32-bit stream handles that the C entry points exchange to the encoder state behind them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace standins {

template <typename State>
class StreamTable {
  public:
    // Returns the new handle; 0 is never handed out, so a zeroed handle is always unknown.
    uint32_t Add(std::unique_ptr<State> state) {
        std::lock_guard lock(mutex_);
        do {
            ++next_;
        } while (next_ == 0 || streams_.count(next_) != 0);
        streams_.emplace(next_, std::move(state));
        return next_;
    }

    // Null for an unknown handle. Each stream is used by one thread at a time, so the pointer
    // stays valid until that thread removes it.
    State* Find(uint32_t handle) {
        std::lock_guard lock(mutex_);
        const auto found = streams_.find(handle);
        return found == streams_.end() ? nullptr : found->second.get();
    }

    std::unique_ptr<State> Remove(uint32_t handle) {
        std::lock_guard lock(mutex_);
        const auto found = streams_.find(handle);
        if (found == streams_.end()) {
            return nullptr;
        }
        std::unique_ptr<State> state = std::move(found->second);
        streams_.erase(found);
        return state;
    }

  private:
    std::mutex mutex_;
    std::map<uint32_t, std::unique_ptr<State>> streams_;
    uint32_t next_ = 0;
};

}  // namespace standins
