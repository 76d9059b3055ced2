// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>

#include "Formats.h"

// The current option values as a plain record.
struct ConversionOptions {
    // Qualified: the member carries the name of its type.
    ::OutputFormat OutputFormat = ::OutputFormat::MP3;
    bool CustomDir = false;
    std::string OutputDir = "/";  // the file-system root until a folder is chosen
    int Mp3BitrateIndex = FormatOf(::OutputFormat::MP3).DefaultIndex;
    bool Mp3Crc = false;
    bool Mp3Copyright = false;
    bool Mp3Original = false;
    bool Mp3Private = false;
    int WmaBitrateIndex = FormatOf(::OutputFormat::WMA).DefaultIndex;
    int OggQualityIndex = FormatOf(::OutputFormat::OGG).DefaultIndex;
    // The source's tags are copied into the output; sonvert-batch's --no-tags turns that off.
    bool CopyTags = true;

    bool operator==(const ConversionOptions&) const = default;
};

// Where each format's list index is kept, in the order of Formats.
inline constexpr std::array<int ConversionOptions::*, Formats.size()> ListIndexOf{
    &ConversionOptions::Mp3BitrateIndex, &ConversionOptions::WmaBitrateIndex,
    &ConversionOptions::OggQualityIndex};
