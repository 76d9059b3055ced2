// SPDX-License-Identifier: GPL-3.0-or-later
// Interface of the MP3 encoder library "lame_enc": a C entry-point family over one encoder stream.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t LameStream;

#pragma pack(push, 1)
// Configuration record, packed, little-endian. Only the MP3 kind (0) is known.
typedef struct LameConfig {
    uint32_t kind;        // 0: MP3
    uint32_t sampleRate;  // Hz
    uint8_t mode;         // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    uint16_t bitrate;     // kbit/s
    uint32_t privateFlag;
    uint32_t crc;
    uint32_t copyright;
    uint32_t original;
    uint8_t reserved[229];  // room for later fields; zero
} LameConfig;

// Version record; callers read the engine's version from bytes 2 and 3.
typedef struct LameVersion {
    uint8_t libraryMajor;
    uint8_t libraryMinor;
    uint8_t engineMajor;
    uint8_t engineMinor;
    uint8_t reserved[124];
} LameVersion;
#pragma pack(pop)

// Every entry point returns 0 on success.
typedef uint32_t (*BeInitStreamFn)(const LameConfig* config, uint32_t* samplesPerChunk,
                                   uint32_t* outputBufferSize, LameStream* stream);
typedef uint32_t (*BeEncodeChunkFn)(LameStream stream, uint32_t sampleCount, const int16_t* samples,
                                    uint8_t* output, uint32_t* outputBytes);
typedef uint32_t (*BeDeinitStreamFn)(LameStream stream, uint8_t* output, uint32_t* outputBytes);
typedef uint32_t (*BeCloseStreamFn)(LameStream stream);
typedef uint32_t (*BeVersionFn)(LameVersion* version);

#ifdef __cplusplus
}
#endif
