// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <vector>

#include "ConversionOptions.h"

// What the command line of sonvert-batch asks for.
struct BatchArguments {
    ConversionOptions Options;
    std::vector<std::string> Files;      // files and folders, in the order given
    std::vector<std::string> FilesFrom;  // lists of paths ("-": standard input), read after Files
    bool NullSeparated = false;          // the lists separate their paths with NUL bytes
    int Jobs = 0;                        // files converted at once; 0: one per online processor
    bool NoClobber = false;              // leave existing output files alone
    bool Update = false;                 // redo only outputs older than their sources
    std::string Report;                  // not empty: write the JSON Lines report there
    int ShardIndex = 1;                  // convert only list positions ShardIndex + k * ShardCount
    int ShardCount = 1;
    bool Recursive = false;     // walk the subfolders of a folder given as a source
    bool KeepTree = false;      // mirror the walked folders below the output folder
    bool ClassicInput = false;  // read with the windows' reader alone, refuse what they refuse
    bool Help = false;
    bool Version = false;
    std::string Error;  // not empty: a usage error, said in one line
};

// One option of sonvert-batch: how it is written, what --help says of it and what it does.
struct BatchOption {
    const char* Short;     // "-j", or empty
    const char* Long;      // "--jobs"
    const char* Argument;  // the value's name in --help; nullptr: the option takes none
    // nullptr: listed with the next option, which says what both do; empty: not listed. Words in
    // braces stand for facts of the formats ("{formats}", "{MP3 values}").
    const char* Help;
    // Applies the option with its value (empty without one); a usage error, or the empty text.
    std::string (*Take)(BatchArguments&, const std::string& value);
};

// Every option, in the order --help lists them.
std::span<const BatchOption> BatchOptions();

// Reads the arguments (without the program name) over the given starting options: every option
// changes one field, the files keep their order.
BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments,
                                   const ConversionOptions& start);

// The text --help prints, naming the program as given.
std::string BatchUsage(const std::string& program);
