// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cerrno>
#include <string>
#include <system_error>

namespace platform {

// The system's words for an error number ("No space left on device").
inline std::string ErrorText(int error = errno) {
    return std::error_code(error, std::generic_category()).message();
}

}  // namespace platform
