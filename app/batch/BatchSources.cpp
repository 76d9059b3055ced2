// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchSources.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include <QString>

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
    Walk(bool recursive, const std::string& skipFolder, bool classicOnly, SourceList& list)
        : recursive_(recursive), classicOnly_(classicOnly), list_(list) {
        if (!skipFolder.empty()) {
            std::error_code error;
            if (fs::is_directory(skipFolder, error)) {
                skip_ = platform::ResolvedPath(skipFolder);
            }
        }
    }

    void Folder(const fs::path& root) {
        std::vector<fs::path> files;
        bool subfoldersLeft = false;
        Into(root, root, files, subfoldersLeft);
        if (subfoldersLeft) {
            list_.messages.push_back("sonvert-batch: '" + root.string() +
                                     "' holds subfolders; -r converts their files too");
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            const fs::path relative = file.lexically_relative(root).parent_path();
            list_.sources.push_back({file.string(), relative.string()});
        }
    }

  private:
    void Into(const fs::path& root, const fs::path& folder, std::vector<fs::path>& files,
              bool& subfoldersLeft) {
        std::error_code error;
        fs::directory_iterator entries(folder, error);
        for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
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
                    Into(root, entry.path(), files, subfoldersLeft);
                } else {
                    subfoldersLeft = true;
                }
            } else if (entry.is_regular_file(typeError) && SourceName(entry.path(), classicOnly_)) {
                files.push_back(entry.path());
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
    SourceList& list_;
    fs::path skip_;
};

}  // namespace

std::vector<std::string> ReadPathList(std::istream& in, bool nulSeparated) {
    std::vector<std::string> paths;
    for (std::string path; std::getline(in, path, nulSeparated ? '\0' : '\n');) {
        if (!nulSeparated && !path.empty() && path.back() == '\r') {
            path.pop_back();
        }
        if (!path.empty()) {
            paths.push_back(path);
        }
    }
    return paths;
}

std::string ReadPathListFile(const std::string& list, bool nulSeparated,
                             std::vector<std::string>& paths) {
    const std::string named = "could not read the list '" + list + "': ";
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
    std::ifstream in(list, std::ios::binary);
    if (!in) {
        return named + platform::ErrorText();
    }
    const std::vector<std::string> listed = ReadPathList(in, nulSeparated);
    if (in.bad()) {
        return named + platform::ErrorText();
    }
    paths.insert(paths.end(), listed.begin(), listed.end());
    return "";
}

SourceList CollectSources(const std::vector<std::string>& paths, bool recursive,
                          const std::string& skipFolder, bool classicOnly) {
    SourceList list;
    Walk walk(recursive, skipFolder, classicOnly, list);
    for (const std::string& path : paths) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            walk.Folder(path);
        } else {
            list.sources.push_back({path, ""});
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

std::optional<std::string> DropRepeatedSources(std::vector<BatchSource>& sources) {
    std::set<std::pair<dev_t, ino_t>> files;
    std::set<fs::path> unknown;
    std::size_t dropped = 0;
    std::string first;
    std::erase_if(sources, [&](const BatchSource& source) {
        struct stat status {};
        const bool added = ::stat(source.path.c_str(), &status) == 0
                               ? files.emplace(status.st_dev, status.st_ino).second
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
                                        const std::function<bool(const std::string&)>& foldsCase) {
    std::map<std::string, std::size_t> seen;
    std::map<std::string, bool> folding;  // by folder: one probe each
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const fs::path resolved = platform::ResolvedPath(outputs[i]);
        const std::string folder = resolved.parent_path().string();
        auto [known, added] = folding.emplace(folder, false);
        if (added) {
            known->second = foldsCase(folder);
        }
        const std::string key =
            known->second ? QString::fromStdString(resolved.string()).toCaseFolded().toStdString()
                          : resolved.string();
        const auto [at, unique] = seen.emplace(key, i);
        if (!unique) {
            return "'" + sources[at->second].path + "' and '" + sources[i].path +
                   "' would both be written to '" + outputs[i] + "'";
        }
    }
    return std::nullopt;
}
