// SPDX-License-Identifier: GPL-3.0-or-later
#include "DoubleState.h"

#include <cstring>

namespace doubles {

void Defaults(DoubleControl& c) {
    c = DoubleControl{};
    c.samplesPerChunk = 2304;
    c.bufferSize = 2304 * 2;
    c.engineMajor = 3;
    c.engineMinor = 98;
#ifdef DOUBLE_FAIL_CLOSE
    // For another process, which cannot reach the control block: every close fails.
    c.failClose = 1;
#endif
}

namespace {
struct Loaded {
    Loaded() { Defaults(Instance().control); }
} loaded;
}  // namespace

State& Instance() {
    static State state;
    return state;
}

void Log(const std::string& line) {
    Instance().log += line + "\n";
}

uint32_t Deliver(const int16_t* samples, uint32_t sampleCount, uint8_t* output) {
    DoubleControl& c = Instance().control;
    c.bytesReceived += uint64_t{sampleCount} * 2;
    if (c.discard) {
        return 0;
    }
    std::memcpy(output, samples, std::size_t{sampleCount} * 2);
    return sampleCount * 2;
}

}  // namespace doubles

extern "C" {
__attribute__((visibility("default"))) DoubleControl* double_control(void) {
    return &doubles::Instance().control;
}
__attribute__((visibility("default"))) const char* double_log(void) {
    return doubles::Instance().log.c_str();
}
__attribute__((visibility("default"))) void double_reset(void) {
    doubles::State& s = doubles::Instance();
    if (s.file != nullptr) {
        std::fclose(s.file);
    }
    s = doubles::State{};
    doubles::Defaults(s.control);
}
}
