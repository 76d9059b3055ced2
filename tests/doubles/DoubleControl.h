// SPDX-License-Identifier: GPL-3.0-or-later
// Control block of the test-double encoder libraries: what they should do, and what they received.
#pragma once

#include <stdint.h>

#include "WmaAudioApi.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DoubleControl {
    // Behaviour.
    int failOpen;       // beInitStream, vbEncOpen or WMAudioCreateWriter fails
    int failSetInput;   // WMA writer refuses the input format
    int failSetOutput;  // WMA writer refuses the output format
    int failWriteAt;    // this encode or write call (counted from 1) fails; 0: none
    int failClose;      // beDeinitStream, vbEncClose or the WMA finish fails
    int discard;        // deliver no encoded bytes (for benchmarks)
    uint32_t samplesPerChunk;
    uint32_t bufferSize;
    uint8_t engineMajor;
    uint8_t engineMinor;
    // What arrived.
    unsigned char record[512];  // the configuration or settings record of the last open
    unsigned char info[128];    // Ogg stream information record of the last open
    char texts[4][64];          // the four Ogg texts, copied during the call
    WmaWaveFormat input;
    uint32_t outputFormat[4];  // WMA bitrate, sample rate, channels, flags
    int writeCalls;
    uint64_t bytesReceived;
} DoubleControl;

DoubleControl* double_control(void);
// One line per call, in call order.
const char* double_log(void);
void double_reset(void);

#ifdef __cplusplus
}
#endif
