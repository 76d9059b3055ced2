// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ConversionOptions.h"

// One file of a batch, and where it was found.
struct BatchSource {
    std::string path;
    // Its folder relative to the folder argument it was found under ("" for a file given itself,
    // or one found in the folder argument's own files).
    std::string subfolder;
};

// The sources of a batch, with what the walk had to say.
struct SourceList {
    std::vector<BatchSource> sources;
    std::vector<std::string> messages;  // whole lines for standard error
    bool unreadable = false;            // a folder could not be read: some files may be missing
};

// Paths one a line (or NUL-separated); empty entries are left out. A line's CR is dropped, so that
// a list with CRLF line ends lists the same files.
std::vector<std::string> ReadPathList(std::istream& in, bool nulSeparated);

// ReadPathList() of the file at `list`, appended to `paths`. Returns an empty text, or one line
// naming the list when it cannot be read: missing, not readable, or neither a file nor a pipe (a
// folder would list nothing, silently).
std::string ReadPathListFile(const std::string& list, bool nulSeparated,
                             std::vector<std::string>& paths);

// The endings of the names a folder gives, in lower case.
inline constexpr std::array<std::string_view, 8> kFolderExtensions = {
    ".wav", ".wave", ".flac", ".aif", ".aiff", ".aifc", ".w64", ".rf64"};

// Files stay as given, whatever their names. A folder gives its files whose names end in one of
// kFolderExtensions (with `classicOnly`: in ".wav") in any case, sorted by path, with hidden files
// and folders left out; with `recursive` its subfolders too, never through a symbolic link, and
// never into `skipFolder` (the output folder, may be empty).
SourceList CollectSources(const std::vector<std::string>& paths, bool recursive,
                          const std::string& skipFolder, bool classicOnly = false);

// The list positions index, index + count, index + 2 * count, ... (counted from 1).
std::vector<BatchSource> ShardOf(const std::vector<BatchSource>& sources, int index, int count);

// The options one source is converted with: with keepTree its subfolder goes below the output
// folder.
ConversionOptions OptionsFor(const BatchSource& source, const ConversionOptions& options,
                             bool keepTree);

// The output path of a source converted with the given options.
std::string OutputFor(const std::string& source, const ConversionOptions& options);

// Keeps the first of the entries that reach one file (a file listed twice, a folder given with one
// of its subfolders, two spellings of one path). A line saying what was dropped, or nothing.
std::optional<std::string> DropRepeatedSources(std::vector<BatchSource>& sources);

// A line naming two sources that would write one output file, or nothing when all outputs differ.
// In a folder where foldsCase holds, names that differ only in case are one file.
std::optional<std::string> SharedOutput(const std::vector<BatchSource>& sources,
                                        const std::vector<std::string>& outputs,
                                        const std::function<bool(const std::string&)>& foldsCase);
