// SPDX-License-Identifier: GPL-3.0-or-later
// Reads an encoded file back with FFmpeg: what the container says and what decoding gives.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct MediaFacts {
    std::string codec;
    int sampleRate = 0;
    int channels = 0;
    int64_t bitRate = 0;                      // the stream's, as the container or codec reports it
    double durationSeconds = 0;               // the container's duration, or -1 when it names none
    std::map<std::string, std::string> tags;  // stream and file tags, keys in upper case
    int64_t decodedFrames = 0;                // samples per channel that decoding gives
    std::vector<double> rms;                  // per channel, over the decoded samples
    std::vector<std::vector<float>> samples;  // the decoded samples of each channel, -1 to 1
};

// Empty when FFmpeg cannot open or decode the file; `error` then says why.
std::optional<MediaFacts> ProbeMedia(const std::string& path, std::string* error = nullptr);

// One MP3 frame header as it stands in the file.
struct Mp3Frame {
    int version = 0;  // 1, 2, or 25 for MPEG-2.5
    int bitrate = 0;  // kbit/s
    int sampleRate = 0;
    int mode = 0;      // 0 stereo, 1 joint, 2 dual, 3 mono
    bool crc = false;  // protected by a CRC
    bool privateBit = false;
    bool copyright = false;
    bool original = false;
    int mainDataBegin = 0;  // bytes back into the main data of the frames before
    int mainDataBytes = 0;  // what its granules take, rounded up to bytes
    int slotBytes = 0;      // room for main data in the frame itself
    bool info = false;      // an Info or Xing tag in place of audio, which decoders skip
    std::size_t offset = 0, size = 0;
};

// Walks the frames of an MP3 byte stream from its first byte; empty when a frame breaks the chain
// (after `*consumed` bytes).
std::vector<Mp3Frame> ReadMp3Frames(const std::vector<uint8_t>& bytes, std::size_t* consumed);

// Empty when the stream begins with a LAME Info frame whose CRCs (its frame's, its tag's, the
// music's), counts and seek table agree with the frames after it; otherwise what does not.
std::string Mp3InfoFault(const std::vector<uint8_t>& bytes);

// What mp3val warns about, but for a file without tags or of very few frames; empty when clean.
std::string Mp3valFaults(const std::string& path);

// The sample frames that mpg123 decodes, honouring the Info frame as it does by default.
int64_t Mpg123Frames(const std::string& path, int channels);

// Empty when each frame's main data starts after the previous frame's (never before the stream)
// and ends inside the frame itself; otherwise which frame breaks that.
std::string MainDataFault(const std::vector<Mp3Frame>& frames);

// What `ffmpeg -v error -xerror` says while decoding the file with every check on, and its exit
// status when that is not 0: empty for a file that decodes cleanly.
std::string StrictDecodeErrors(const std::string& path);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

// The granule position of the last page of an Ogg stream: for Vorbis, the exact number of
// samples per channel that a decoder that honours it gives back. -1 when the pages do not chain.
int64_t LastOggGranule(const std::vector<uint8_t>& bytes);
