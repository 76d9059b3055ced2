// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderCase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <random>

namespace platform {

bool FolderFoldsCase(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path existing = fs::absolute(folder.empty() ? "." : folder, error);
    while (!fs::is_directory(existing, error) && existing.has_relative_path()) {
        existing = existing.parent_path();
    }
    // A probe of our own, in lower case, looked up by its upper-case twin.
    std::mt19937_64 generator{std::random_device{}()};
    const std::string lower = ".sonvertcase-" + std::to_string(generator() % 1000000007u);
    std::string upper = lower;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::string probe = (existing / lower).string();
    const int fd =
        ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    struct stat created {};
    struct stat twin {};
    const bool folds = ::fstat(fd, &created) == 0 &&
                       ::lstat((existing / upper).string().c_str(), &twin) == 0 &&
                       created.st_dev == twin.st_dev && created.st_ino == twin.st_ino;
    ::close(fd);
    ::unlink(probe.c_str());
    return folds;
}

}  // namespace platform
