// SPDX-License-Identifier: GPL-3.0-or-later
// The Info frame at the head of a finished MP3 file, completed once the stream has ended: the MP3
// library puts a placeholder first that holds the encoder's delay, and only the finished file
// knows the frame count, the byte count, the seek table and how much of the end is padding.
#pragma once

#include <cstdint>
#include <string>

enum class InfoFrameResult {
    Completed,
    Absent,  // the file does not begin with an Info frame (after any ID3v2 tag): left as it is
    Failed,  // reading or writing the file failed; the error number says why
};

// Completes the Info frame of the MP3 file at `path` so that decoders give back exactly
// `sourceFrames` sample frames of a source at `sourceRate` Hz (counted in the stream's own rate
// where the library resampled): whatever the stream holds beyond them counts as padding.
InfoFrameResult CompleteMp3InfoFrame(const std::string& path, uint64_t sourceFrames,
                                     uint32_t sourceRate, int& error);
