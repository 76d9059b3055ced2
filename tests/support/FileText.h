// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace testfile {

// The whole file's bytes; empty when it cannot be read.
std::string ReadAll(const std::string& path);
// Creates or truncates the file with exactly these bytes.
void WriteAll(const std::string& path, const std::string& text);

}  // namespace testfile
