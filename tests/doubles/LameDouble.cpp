// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for "lame_enc": records every call and hands the samples back as the encoded bytes.
#include <cstring>
#include <string>

#include "DoubleState.h"
#include "LameEncApi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

using doubles::Instance;
using doubles::Log;

namespace {
constexpr LameStream kStream = 0x1234;
}

#ifndef OMIT_beInitStream
EXPORT uint32_t beInitStream(const LameConfig* config, uint32_t* samplesPerChunk,
                             uint32_t* outputBufferSize, LameStream* stream) {
    DoubleControl& c = Instance().control;
    std::memcpy(c.record, config,
                sizeof(LameConfig) < sizeof c.record ? sizeof(LameConfig) : sizeof c.record);
    Log("beInitStream");
    if (c.failOpen) {
        return 1;
    }
    *samplesPerChunk = c.samplesPerChunk;
    *outputBufferSize = c.bufferSize;
    *stream = kStream;
    return 0;
}
#endif

#ifndef OMIT_beEncodeChunk
EXPORT uint32_t beEncodeChunk(LameStream stream, uint32_t sampleCount, const int16_t* samples,
                              uint8_t* output, uint32_t* outputBytes) {
    DoubleControl& c = Instance().control;
    ++c.writeCalls;
    Log("beEncodeChunk " + std::to_string(sampleCount));
    if (stream != kStream || sampleCount * 2 > c.bufferSize || c.writeCalls == c.failWriteAt) {
        return 1;
    }
    *outputBytes = doubles::Deliver(samples, sampleCount, output);
    return 0;
}
#endif

#ifndef OMIT_beVersion
EXPORT uint32_t beVersion(LameVersion* version) {
    Log("beVersion");
    std::memset(version, 0xEE, sizeof *version);
    version->engineMajor = Instance().control.engineMajor;
    version->engineMinor = Instance().control.engineMinor;
    return 0;
}
#endif

#ifndef OMIT_beDeinitStream
EXPORT uint32_t beDeinitStream(LameStream stream, uint8_t* output, uint32_t* outputBytes) {
    Log("beDeinitStream");
    if (stream != kStream || Instance().control.failClose) {
        return 1;
    }
    std::memcpy(output, "TAIL", 4);
    *outputBytes = 4;
    return 0;
}
#endif

#ifndef OMIT_beCloseStream
EXPORT uint32_t beCloseStream(LameStream stream) {
    Log("beCloseStream");
    return stream == kStream ? 0 : 1;
}
#endif
