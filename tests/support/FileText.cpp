// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileText.h"

#include <fstream>
#include <sstream>

namespace testfile {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

}  // namespace testfile
