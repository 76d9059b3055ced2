// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ConversionOptions.h"
#include "StagedOutput.h"

// One file of a batch, and where it was found.
struct BatchSource {
    std::string path;
    // Its folder relative to the folder argument it was found under ("" for a file given itself,
    // or one found in the folder argument's own files).
    std::string subfolder;
    // Not empty: the entry is never converted and counts as failed; the line that says why.
    std::string refusal{};
    // The file's identity, when the walk has already looked it up.
    bool identified = false;
    platform::FileIdentity identity{};
};

// The sources of a batch, with what the walk had to say.
struct SourceList {
    std::vector<BatchSource> sources;
    std::vector<std::string> messages;  // whole lines for standard error
    bool unreadable = false;            // a folder could not be read: some files may be missing
};

// Asked now and then by the long steps of the start-up; true ends the step at once, its result
// incomplete. Empty: never.
using StopRequested = std::function<bool()>;

// The entries of a list's text: paths one a line (or NUL-separated); empty entries are left out.
// A line's CR is dropped, so that a list with CRLF line ends lists the same files. A line that
// holds a NUL byte cannot name a file: it gives a refused entry that names the line and `list`.
std::vector<BatchSource> ParsePathList(std::string_view text, bool nulSeparated,
                                       const std::string& list);

// The entries of the list at `list` ("-": standard input), appended to `paths`. Returns an empty
// text, or one line naming the list when it cannot be read: missing, not readable, or neither a
// file nor a pipe (a folder would list nothing, silently). Waiting for a pipe's writer or for its
// data ends, with nothing appended, once a signal has come and `stopped` says so.
std::string ReadPathList(const std::string& list, bool nulSeparated, const StopRequested& stopped,
                         std::vector<BatchSource>& paths);

// The endings of the names a folder gives, in lower case.
inline constexpr std::array<std::string_view, 8> kFolderExtensions = {
    ".wav", ".wave", ".flac", ".aif", ".aiff", ".aifc", ".w64", ".rf64"};

// Files stay as given, whatever their names, and refused entries as they are. A folder gives its
// files whose names end in one of kFolderExtensions (with `classicOnly`: in ".wav") in any case,
// sorted by path, with hidden files and folders left out; with `recursive` its subfolders too,
// never through a symbolic link, and never into `skipFolder` (the output folder, may be empty).
SourceList CollectSources(const std::vector<BatchSource>& paths, bool recursive,
                          const std::string& skipFolder, const StopRequested& stopped = {},
                          bool classicOnly = false);

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
std::optional<std::string> DropRepeatedSources(std::vector<BatchSource>& sources,
                                               const StopRequested& stopped = {});

// A line naming two sources that would write one output file, or nothing when all outputs differ
// (an empty output is none). In a folder where foldsCase holds, names that differ only in case
// are one file.
std::optional<std::string> SharedOutput(const std::vector<BatchSource>& sources,
                                        const std::vector<std::string>& outputs,
                                        const std::function<bool(const std::string&)>& foldsCase,
                                        const StopRequested& stopped = {});
