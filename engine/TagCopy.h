// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "Formats.h"
#include "TagMapping.h"

// Writes `tags` into a finished output by the fields of kTagMappings: an ID3v2.4 tag in front of
// an MP3 file's first frame (UTF-8 text, the whole date in TDRC), a Vorbis comment in an Ogg
// file, ASF attributes in a WMA file. No tags leave the file untouched. False when the file could
// not be rewritten (a full disk); `error` then says why.
bool WriteTags(const std::string& path, OutputFormat format, const TagValues& tags,
               std::string& error);
