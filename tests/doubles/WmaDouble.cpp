// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for "wmaudsdk": a writer that records every call and stores the PCM it receives.
#include <QString>

#include <cstring>
#include <string>

#include "DoubleState.h"
#include "ProductVersion.h"
#include "WmaAudioApi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

using doubles::Instance;
using doubles::Log;

namespace {

WmaResult QueryInterface(WmaAudioWriter*, const void*, void**) {
    return -1;
}
uint32_t AddRef(WmaAudioWriter*) {
    return 2;
}

uint32_t Release(WmaAudioWriter* self) {
    Log("Release");
    delete self;
    return 0;
}

WmaResult Unused(WmaAudioWriter*) {
    Log("unexpected call");
    return -1;
}

WmaResult SetAttribute(WmaAudioWriter* self, const char16_t*, const char16_t*) {
    return Unused(self);
}

WmaResult SetInputFormat(WmaAudioWriter*, const WmaWaveFormat* format) {
    Log("SetInputFormat");
    Instance().control.input = *format;
    return Instance().control.failSetInput ? -2 : 0;
}

WmaResult SetOutputFormat(WmaAudioWriter*, uint32_t bitrate, uint32_t sampleRate, uint32_t channels,
                          uint32_t flags) {
    Log("SetOutputFormat");
    uint32_t* out = Instance().control.outputFormat;
    out[0] = bitrate;
    out[1] = sampleRate;
    out[2] = channels;
    out[3] = flags;
    return Instance().control.failSetOutput ? -3 : 0;
}

WmaResult SetDrm(WmaAudioWriter* self, uint32_t) {
    return Unused(self);
}

WmaResult Write(WmaAudioWriter*, const uint8_t* data, uint32_t size) {
    DoubleControl& c = Instance().control;
    ++c.writeCalls;
    c.bytesReceived += size;
    Log("Write " + std::to_string(size));
    if (c.writeCalls == c.failWriteAt) {
        return -4;
    }
    if (!c.discard && Instance().file != nullptr) {
        std::fwrite(data, 1, size, Instance().file);
    }
    return 0;
}

WmaResult Finish(WmaAudioWriter*) {
    Log("Finish");
    if (Instance().control.failClose) {
        return -5;
    }
    if (Instance().file != nullptr) {
        std::fclose(Instance().file);
        Instance().file = nullptr;
    }
    return 0;
}

const WmaAudioWriterTable kTable{QueryInterface,  AddRef, Release, SetAttribute, SetInputFormat,
                                 SetOutputFormat, SetDrm, Write,   Finish};

}  // namespace

// The version a real library would carry; the About dialog reads it from the file.
#ifndef OMIT_VERSION
#ifdef VERSION_TEN
SONVERT_PRODUCT_VERSION(10, 0, 0, 0);
#else
SONVERT_PRODUCT_VERSION(4, 0, 0, 3688);
#endif
#endif

#ifndef OMIT_WMAudioCreateWriter
EXPORT WmaResult WMAudioCreateWriter(const char16_t* path, WmaAudioWriter** writer) {
    const std::string narrow = QString::fromUtf16(path).toStdString();
    Log("WMAudioCreateWriter " + narrow);
    if (Instance().control.failOpen) {
        *writer = nullptr;
        return -1;
    }
    Instance().file = std::fopen(narrow.c_str(), "wb");
    *writer = new WmaAudioWriter{&kTable};
    return 0;
}
#endif
