// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchSources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include <QString>

#include "ConsoleText.h"
#include "ErrorText.h"
#include "OutputPath.h"
#include "ResolvedPath.h"

namespace fs = std::filesystem;

namespace {

bool Hidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

// The names a folder gives: those the second reader opens, or only ".wav" for the classic one.
bool SourceName(const fs::path& path, bool classicOnly) {
    std::string ending = path.extension().string();
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (classicOnly) {
        return ending == ".wav";
    }
    return std::find(kFolderExtensions.begin(), kFolderExtensions.end(), ending) !=
           kFolderExtensions.end();
}

class Walk {
  public:
    Walk(bool recursive, const std::string& skipFolder, const StopRequested& stopped,
         bool classicOnly, SourceList& list)
        : recursive_(recursive), classicOnly_(classicOnly), stopped_(stopped), list_(list) {
        if (!skipFolder.empty()) {
            std::error_code error;
            if (fs::is_directory(skipFolder, error)) {
                skip_ = platform::ResolvedPath(skipFolder);
            }
        }
    }

    void Folder(const fs::path& root) {
        std::vector<Found> files;
        bool subfoldersLeft = false;
        Into(root, "", files, subfoldersLeft);
        if (subfoldersLeft) {
            list_.messages.push_back("sonvert-batch: '" + root.string() +
                                     "' holds subfolders; -r converts their files too");
        }
        if (Stopped()) {
            return;
        }
        std::sort(files.begin(), files.end(),
                  [](const Found& a, const Found& b) { return a.key < b.key; });
        for (Found& file : files) {
            list_.sources.push_back({std::move(file.path), std::move(file.subfolder)});
        }
    }

    bool Stopped() {
        halted_ = halted_ || (stopped_ && stopped_());
        return halted_;
    }

  private:
    struct Found {
        // The path with each '/' as '\0': sorted as strings, in the order of paths compared
        // component by component, many times faster.
        std::string key;
        std::string path;
        std::string subfolder;
    };

    // `subfolder`: the folder's path below the walk's root.
    void Into(const fs::path& folder, const std::string& subfolder, std::vector<Found>& files,
              bool& subfoldersLeft) {
        std::error_code error;
        fs::directory_iterator entries(folder, error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
            if (Stopped()) {
                return;
            }
            const fs::directory_entry& entry = *entries;
            if (Hidden(entry.path())) {
                continue;
            }
            std::error_code typeError;
            // A link to a folder is not followed: it could lead back up the tree.
            if (entry.is_symlink(typeError) && entry.is_directory(typeError)) {
                continue;
            }
            if (entry.is_directory(typeError)) {
                if (!skip_.empty() && platform::ResolvedPath(entry.path()) == skip_) {
                    continue;
                }
                if (recursive_) {
                    const std::string name = entry.path().filename().string();
                    Into(entry.path(), subfolder.empty() ? name : subfolder + "/" + name, files,
                         subfoldersLeft);
                } else {
                    subfoldersLeft = true;
                }
            } else if (entry.is_regular_file(typeError) && SourceName(entry.path(), classicOnly_)) {
                std::string path = entry.path().string();
                std::string key = path;
                std::replace(key.begin(), key.end(), '/', '\0');
                files.push_back({std::move(key), std::move(path), subfolder});
            }
        }
        if (error) {
            list_.messages.push_back("Error: Could not read the folder '" + folder.string() +
                                     "': " + error.message());
            list_.unreadable = true;
        }
    }

    bool recursive_;
    bool classicOnly_;
    const StopRequested& stopped_;
    bool halted_ = false;
    SourceList& list_;
    fs::path skip_;
};

bool Stopped(const StopRequested& stopped) {
    return stopped && stopped();
}

}  // namespace

std::vector<BatchSource> ParsePathList(std::string_view text, bool nulSeparated,
                                       const std::string& list) {
    std::vector<BatchSource> paths;
    const char separator = nulSeparated ? '\0' : '\n';
    std::size_t line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t end = std::min(text.find(separator), text.size());
        std::string_view path = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!nulSeparated && !path.empty() && path.back() == '\r') {
            path.remove_suffix(1);
        }
        if (path.empty()) {
            continue;
        }
        // The system would open the path only up to the NUL byte, a file that was never listed.
        std::string refusal;
        if (path.find('\0') != std::string_view::npos) {
            refusal = "sonvert-batch: line " + std::to_string(line) + " of the list '" + list +
                      "' holds a NUL byte; '" + EscapeControls(path) + "' is not converted";
        }
        paths.push_back({std::string(path), "", std::move(refusal)});
    }
    return paths;
}

std::string ReadPathList(const std::string& list, bool nulSeparated, const StopRequested& stopped,
                         std::vector<BatchSource>& paths) {
    const std::string named = "could not read the list '" + list + "': ";
    int fd = STDIN_FILENO;
    if (list != "-") {
        struct stat status {};
        if (::stat(list.c_str(), &status) != 0) {
            return named + platform::ErrorText();
        }
        if (S_ISDIR(status.st_mode)) {
            return named + platform::ErrorText(EISDIR);
        }
        if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) {
            return named + "not a file or a pipe";
        }
        // A pipe's open waits for a writer; a signal's EINTR ends the wait only on a stop.
        do {
            fd = ::open(list.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR && !Stopped(stopped));
        if (fd < 0) {
            return errno == EINTR ? "" : named + platform::ErrorText();
        }
    }
    // read(2) itself, not a stream: a stream's buffer retries after EINTR, and never sees a stop.
    std::string text;
    std::string failure;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            failure = named + platform::ErrorText();
            break;
        } else if (Stopped(stopped)) {
            text.clear();
            break;
        }
    }
    if (fd != STDIN_FILENO) {
        ::close(fd);
    }
    if (!failure.empty()) {
        return failure;
    }
    const std::vector<BatchSource> listed = ParsePathList(text, nulSeparated, list);
    paths.insert(paths.end(), listed.begin(), listed.end());
    return "";
}

SourceList CollectSources(const std::vector<BatchSource>& paths, bool recursive,
                          const std::string& skipFolder, const StopRequested& stopped,
                          bool classicOnly) {
    SourceList list;
    Walk walk(recursive, skipFolder, stopped, classicOnly, list);
    for (const BatchSource& path : paths) {
        if (walk.Stopped()) {
            break;
        }
        struct stat status {};
        const bool found = path.refusal.empty() && ::stat(path.path.c_str(), &status) == 0;
        if (found && S_ISDIR(status.st_mode)) {
            walk.Folder(path.path);
        } else {
            // The check for repeated sources needs what this look at the file's type found out.
            BatchSource file = path;
            file.identified = found;
            file.identity = {status.st_dev, status.st_ino};
            list.sources.push_back(std::move(file));
        }
    }
    return list;
}

std::vector<BatchSource> ShardOf(const std::vector<BatchSource>& sources, int index, int count) {
    std::vector<BatchSource> shard;
    for (std::size_t i = static_cast<std::size_t>(index - 1); i < sources.size();
         i += static_cast<std::size_t>(count)) {
        shard.push_back(sources[i]);
    }
    return shard;
}

ConversionOptions OptionsFor(const BatchSource& source, const ConversionOptions& options,
                             bool keepTree) {
    ConversionOptions own = options;
    if (keepTree && options.CustomDir && !source.subfolder.empty()) {
        own.OutputDir = (fs::path(options.OutputDir) / source.subfolder).string();
    }
    return own;
}

std::string OutputFor(const std::string& source, const ConversionOptions& options) {
    return OutputPathFor(source, options.CustomDir, options.OutputDir,
                         TargetExtension(static_cast<int>(options.OutputFormat)), kPosixPaths);
}

std::optional<std::string> DropRepeatedSources(std::vector<BatchSource>& sources,
                                               const StopRequested& stopped) {
    std::set<std::pair<dev_t, ino_t>> files;
    std::set<fs::path> unknown;
    std::size_t dropped = 0;
    std::string first;
    bool halted = false;
    std::erase_if(sources, [&](const BatchSource& source) {
        halted = halted || Stopped(stopped);
        if (halted || !source.refusal.empty()) {
            return false;
        }
        platform::FileIdentity identity = source.identity;
        struct stat status {};
        bool known = source.identified;
        if (!known && ::stat(source.path.c_str(), &status) == 0) {
            identity = {status.st_dev, status.st_ino};
            known = true;
        }
        const bool added = known ? files.emplace(identity.device, identity.inode).second
                                 : unknown.insert(platform::ResolvedPath(source.path)).second;
        if (!added && dropped++ == 0) {
            first = source.path;
        }
        return !added;
    });
    if (dropped == 0) {
        return std::nullopt;
    }
    return "sonvert-batch: " + std::to_string(dropped) +
           (dropped == 1 ? " source was" : " sources were") + " reached more than once (first '" +
           first + "'); each is converted once";
}

std::optional<std::string> SharedOutput(const std::vector<BatchSource>& sources,
                                        const std::vector<std::string>& outputs,
                                        const std::function<bool(const std::string&)>& foldsCase,
                                        const StopRequested& stopped) {
    struct Folder {
        fs::path resolved;
        bool foldsCase = false;
    };
    // Resolved once per folder as written: resolving every output walks its whole path.
    std::map<std::string, Folder> folders;
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < outputs.size() && !Stopped(stopped); ++i) {
        if (outputs[i].empty()) {
            continue;
        }
        const fs::path output(outputs[i]);
        const auto [known, added] = folders.try_emplace(output.parent_path().string());
        if (added) {
            known->second.resolved = platform::ResolvedPath(
                known->first.empty() ? fs::path(".") : fs::path(known->first));
            known->second.foldsCase = foldsCase(known->second.resolved.string());
        }
        // The final rename replaces a link under the output's name, never what it points to.
        const std::string resolved = (known->second.resolved / output.filename()).string();
        const std::string key = known->second.foldsCase
                                    ? QString::fromStdString(resolved).toCaseFolded().toStdString()
                                    : resolved;
        const auto [at, unique] = seen.emplace(key, i);
        if (!unique) {
            return "'" + sources[at->second].path + "' and '" + sources[i].path +
                   "' would both be written to '" + outputs[i] + "'";
        }
    }
    return std::nullopt;
}
