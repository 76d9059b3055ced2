#pragma once

#include <string>

#include "Valuetables.h"

// The chosen output format, in the order of the format radio buttons.
enum class OutputFormat { MP3 = 0, WMA = 1, OGG = 2 };

// The current option values as a plain record.
struct ConversionOptions {
    // Qualified: the member carries the name of its type.
    ::OutputFormat OutputFormat = ::OutputFormat::MP3;
    bool CustomDir = false;
    std::string OutputDir = "/";              // the file-system root until a folder is chosen
    int Mp3BitrateIndex = DefaultEntryIndex;  // into Mp3BitrateTable
    bool Mp3Crc = false;
    bool Mp3Copyright = false;
    bool Mp3Original = false;
    bool Mp3Private = false;
    int WmaBitrateIndex = DefaultEntryIndex;  // into WmaBitrateTable
    int OggQualityIndex = DefaultEntryIndex;  // into OggQualityTable

    bool operator==(const ConversionOptions&) const = default;
};
