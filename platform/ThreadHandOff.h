// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Marks data handed from one thread to another through a queue the race detector cannot see into
// (Qt's event queue joins its threads with futexes). The thread that fills an object calls
// HandOffRelease on it before it queues it; the thread that takes it out calls HandOffAcquire
// before it reads. Without the race detector both do nothing.

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace platform {

inline void HandOffRelease([[maybe_unused]] void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(object);
#endif
}

inline void HandOffAcquire([[maybe_unused]] void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(object);
#endif
}

}  // namespace platform
