// SPDX-License-Identifier: GPL-3.0-or-later
// Shared state of one test-double library.
#pragma once

#include <cstdio>
#include <string>

#include "DoubleControl.h"

namespace doubles {

struct State {
    DoubleControl control{};
    std::string log;
    std::FILE* file = nullptr;  // the WMA double writes its own output
};

State& Instance();
void Defaults(DoubleControl& control);
void Log(const std::string& line);
// The encoded bytes a chunk produces: the samples themselves, so tests can compare them.
uint32_t Deliver(const int16_t* samples, uint32_t sampleCount, uint8_t* output);

}  // namespace doubles
