// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "TagMapping.h"

// The tags of a source file: WAVE (LIST/INFO, an "id3 " or "ID3 " chunk, bext), AIFF (an ID3
// chunk, NAME, AUTH, "(c) ", ANNO) or FLAC (its Vorbis comment, an ID3v2 tag). Where a file holds
// several blocks, each field comes from the first that has it: ID3v2 (what tag editors write, any
// script), then INFO (the common WAVE block), then bext (a recorder's technical note); AIFF: ID3v2,
// then the text chunks; FLAC: the Vorbis comment, then ID3v2.
//
// INFO, bext and AIFF texts are decoded by the code page of a RIFF CSET chunk when there is one,
// else as UTF-8 when they are valid UTF-8, else as Windows-1252. A file that cannot be read, or of
// another kind, has no tags.
TagValues ReadSourceTags(const std::string& path);

// The text of an INFO, bext or AIFF value: up to its first NUL, decoded as above (codePage 0:
// none named), trimmed.
std::string DecodeChunkText(const std::string& bytes, int codePage = 0);
