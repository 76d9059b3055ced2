// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "AudioSource.h"
#include "MessageBox.h"

// The second reader, on libsndfile: what the classic reader refuses or cannot open. More than 16
// bits a sample are reduced to 16 with TPDF dither (from a fixed seed, so that a file always gives
// the same output), float samples beyond full scale are clipped and counted, and three to eight
// channels are mixed down to stereo. The stream stays the caller's. Null after one box to
// `messages` that names the file.
std::unique_ptr<AudioSource> OpenWithSndfile(std::FILE* stream, const std::string& source,
                                             platform::MessageTarget& messages);
