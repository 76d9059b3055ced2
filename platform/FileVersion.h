// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The product version a library file carries, read from the file without loading it.
struct ProductVersion {
    uint32_t MostSignificant = 0;   // major << 16 | minor
    uint32_t LeastSignificant = 0;  // build << 16 | revision
};

// Empty when the file is missing, is not a library we can read, or carries no version record.
std::optional<ProductVersion> ReadProductVersion(const std::string& path);

}  // namespace platform
