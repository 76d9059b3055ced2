// SPDX-License-Identifier: GPL-3.0-or-later
// Interface of the Ogg Vorbis encoder library "vorbis": a C entry-point family over one stream.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t VorbisStream;

// Encoder settings: 260 bytes of 32-bit little-endian words, zero but for the first ten.
typedef struct VorbisEncSettings {
    uint32_t magic;         // 1024
    uint32_t reserved0;     // 0
    uint32_t size;          // 260, the record's own size
    uint32_t channels;      // 1 or 2
    uint32_t sampleRate;    // Hz
    uint32_t reserved1[3];  // 0
    uint32_t version;       // 300
    float quality;          // 0.1 to 1.0
    uint32_t reserved2[55];
} VorbisEncSettings;

// Stream information: the texts become the stream's TITLE, ARTIST, ALBUM and COMMENT.
// Five words, four text pointers and two words; zero-padded to 56 bytes where pointers are 32 bits
// wide. Where they are wider the pointers take their natural alignment and `size` says so.
typedef struct VorbisStreamInfo {
    uint32_t size;
    uint32_t word1;  // 1
    uint32_t word2;  // 1
    uint32_t word3;  // 44
    uint32_t word4;  // 1
    const char* title;
    const char* artist;
    const char* album;
    const char* comment;
    uint32_t word9;   // 1
    uint32_t word10;  // 1
    uint32_t reserved[3];
} VorbisStreamInfo;

typedef struct VorbisVersion {
    uint8_t libraryMajor;
    uint8_t libraryMinor;
    uint8_t engineMajor;
    uint8_t engineMinor;
    uint8_t reserved[60];
} VorbisVersion;

// Every entry point returns 0 on success.
typedef uint32_t (*VbVersionFn)(VorbisVersion* version);
typedef uint32_t (*VbEncOpenFn)(const VorbisEncSettings* settings, const VorbisStreamInfo* info,
                                uint32_t* samplesPerChunk, uint32_t* outputBufferSize,
                                VorbisStream* stream);
typedef uint32_t (*VbEncWriteFn)(VorbisStream stream, uint32_t sampleCount, const int16_t* samples,
                                 uint8_t* output, uint32_t* outputBytes);
typedef uint32_t (*VbEncCloseFn)(VorbisStream stream, uint8_t* output, uint32_t* outputBytes);

#ifdef __cplusplus
}
#endif
