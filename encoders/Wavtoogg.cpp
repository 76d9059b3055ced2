// SPDX-License-Identifier: GPL-3.0-or-later
#include "Wavtoogg.h"

WavToOgg::WavToOgg(platform::MessageTarget& messages) : BufferedBackEnd(Caption, messages) {
    using encoders::Entry;
    Load("vorbis.dll", {Entry("vbVersion", vbVersion_), Entry("vbEncOpen", vbEncOpen_),
                        Entry("vbEncWrite", vbEncWrite_), Entry("vbEncClose", vbEncClose_)});
}

int WavToOgg::Open(const std::string& path, uint32_t sampleRate, uint32_t channels, float quality) {
    if (!Usable()) {
        return -1;  // construction has already said why
    }
    VorbisEncSettings settings{};
    settings.magic = 1024;
    settings.size = sizeof(VorbisEncSettings);
    settings.channels = channels;
    settings.sampleRate = sampleRate;
    settings.version = 300;
    settings.quality = quality;

    // The library may keep nothing of these texts beyond the call.
    std::string title = "Title Unknown";
    std::string artist = "Artist Unknown";
    std::string album = "Album Unknown";
    std::string comment = "Encoded with Vorbis DLL example";
    VorbisStreamInfo info{};
    info.size = sizeof(VorbisStreamInfo);
    info.word1 = 1;
    info.word2 = 1;
    info.word3 = 44;
    info.word4 = 1;
    info.title = title.c_str();
    info.artist = artist.c_str();
    info.album = album.c_str();
    info.comment = comment.c_str();
    info.word9 = 1;
    info.word10 = 1;

    uint32_t samplesPerChunk = 0;
    uint32_t bufferSize = 0;
    if (vbEncOpen_(&settings, &info, &samplesPerChunk, &bufferSize, &stream_) != 0) {
        Report("Failed to open the encoding stream.");
        return -1;
    }
    return Start(path, samplesPerChunk, bufferSize);
}

bool WavToOgg::Close() {
    if (!IsOpen()) {
        return true;
    }
    const bool finished = Flush("Failed to close the encoder stream.", vbEncClose_, stream_);
    EndFile();
    return finished;
}
