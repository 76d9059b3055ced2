// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "--version" anywhere on the command line prints "<program> <version>" on standard output and
// returns true; the caller then ends with 0 before any window or toolkit object exists. Every
// other argument is left alone (and ignored by the windows).
bool PrintVersionIfAsked(int argc, char* argv[], const char* program);
