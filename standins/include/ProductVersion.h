// SPDX-License-Identifier: GPL-3.0-or-later
// A library's version record, kept in its own ELF section so that the version can be read from the
// file without loading it (the counterpart of a Windows version resource's fixed file info).
#pragma once

#include <stdint.h>

#define SONVERT_VERSION_SECTION ".sonvert_version"

typedef struct ProductVersionRecord {
    char signature[16];         // "SONVERT-VERSION" and a zero byte
    uint32_t productVersionMS;  // major << 16 | minor
    uint32_t productVersionLS;  // build << 16 | revision
    uint32_t fileVersionMS;
    uint32_t fileVersionLS;
} ProductVersionRecord;

// Place one record in a library:
//   SONVERT_PRODUCT_VERSION(4, 0, 0, 3688);
#define SONVERT_PRODUCT_VERSION(a, b, c, d)                                           \
    __attribute__((used, section(SONVERT_VERSION_SECTION)))                           \
    const ProductVersionRecord sonvertProductVersion = {                              \
        "SONVERT-VERSION", ((uint32_t)(a) << 16) | (uint32_t)(b),                     \
        ((uint32_t)(c) << 16) | (uint32_t)(d), ((uint32_t)(a) << 16) | (uint32_t)(b), \
        ((uint32_t)(c) << 16) | (uint32_t)(d)}
