// SPDX-License-Identifier: GPL-3.0-or-later
// Interface of the WMA library "wmaudsdk": one factory that returns an audio writer object, which
// writes the output file itself. The writer follows the COM layout: an interface table that starts
// with the three IUnknown operations.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t WmaResult;  // negative: failure

#pragma pack(push, 1)
typedef struct WmaWaveFormat {
    uint16_t formatTag;  // 1: PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
} WmaWaveFormat;
#pragma pack(pop)

typedef struct WmaAudioWriter WmaAudioWriter;

typedef struct WmaAudioWriterTable {
    WmaResult (*QueryInterface)(WmaAudioWriter* self, const void* iid, void** object);
    uint32_t (*AddRef)(WmaAudioWriter* self);
    uint32_t (*Release)(WmaAudioWriter* self);
    WmaResult (*SetAttribute)(WmaAudioWriter* self, const char16_t* name, const char16_t* value);
    WmaResult (*SetInputFormat)(WmaAudioWriter* self, const WmaWaveFormat* format);
    WmaResult (*SetOutputFormat)(WmaAudioWriter* self, uint32_t bitrate, uint32_t sampleRate,
                                 uint32_t channels, uint32_t flags);
    WmaResult (*SetDrm)(WmaAudioWriter* self, uint32_t enabled);
    WmaResult (*Write)(WmaAudioWriter* self, const uint8_t* data, uint32_t size);
    WmaResult (*Finish)(WmaAudioWriter* self);
} WmaAudioWriterTable;

struct WmaAudioWriter {
    const WmaAudioWriterTable* table;
};

typedef WmaResult (*WMAudioCreateWriterFn)(const char16_t* path, WmaAudioWriter** writer);

#ifdef __cplusplus
}
#endif
