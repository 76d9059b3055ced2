// SPDX-License-Identifier: GPL-3.0-or-later
#include "VersionOption.h"

#include <cstdio>
#include <cstring>

bool PrintVersionIfAsked(int argc, char* argv[], const char* program) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, SONVERT_PROGRAM_VERSION);
            return true;
        }
    }
    return false;
}
