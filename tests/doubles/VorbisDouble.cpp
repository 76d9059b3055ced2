// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for "vorbis": records every call and hands the samples back as the encoded bytes.
#include <cstring>
#include <string>

#include "DoubleState.h"
#include "VorbisEncApi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

using doubles::Instance;
using doubles::Log;

namespace {
constexpr VorbisStream kStream = 0x4321;

[[maybe_unused]] void CopyText(char* to, const char* from) {
    std::strncpy(to, from != nullptr ? from : "(null)", 63);
    to[63] = '\0';
}
}  // namespace

#ifndef OMIT_vbVersion
EXPORT uint32_t vbVersion(VorbisVersion* version) {
    Log("vbVersion");
    std::memset(version, 0xEE, sizeof *version);
    version->engineMajor = Instance().control.engineMajor;
    version->engineMinor = Instance().control.engineMinor;
    return 0;
}
#endif

#ifndef OMIT_vbEncOpen
EXPORT uint32_t vbEncOpen(const VorbisEncSettings* settings, const VorbisStreamInfo* info,
                          uint32_t* samplesPerChunk, uint32_t* outputBufferSize,
                          VorbisStream* stream) {
    DoubleControl& c = Instance().control;
    std::memcpy(c.record, settings, sizeof *settings);
    std::memcpy(c.info, info, sizeof *info);
    CopyText(c.texts[0], info->title);
    CopyText(c.texts[1], info->artist);
    CopyText(c.texts[2], info->album);
    CopyText(c.texts[3], info->comment);
    Log("vbEncOpen");
    if (c.failOpen) {
        return 1;
    }
    *samplesPerChunk = c.samplesPerChunk;
    *outputBufferSize = c.bufferSize;
    *stream = kStream;
    return 0;
}
#endif

#ifndef OMIT_vbEncWrite
EXPORT uint32_t vbEncWrite(VorbisStream stream, uint32_t sampleCount, const int16_t* samples,
                           uint8_t* output, uint32_t* outputBytes) {
    DoubleControl& c = Instance().control;
    ++c.writeCalls;
    Log("vbEncWrite " + std::to_string(sampleCount));
    if (stream != kStream || sampleCount * 2 > c.bufferSize || c.writeCalls == c.failWriteAt) {
        return 1;
    }
    *outputBytes = doubles::Deliver(samples, sampleCount, output);
    return 0;
}
#endif

#ifndef OMIT_vbEncClose
EXPORT uint32_t vbEncClose(VorbisStream stream, uint8_t* output, uint32_t* outputBytes) {
    Log("vbEncClose");
    if (stream != kStream || Instance().control.failClose) {
        return 1;
    }
    std::memcpy(output, "TAIL", 4);
    *outputBytes = 4;
    return 0;
}
#endif
