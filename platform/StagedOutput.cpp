// SPDX-License-Identifier: GPL-3.0-or-later
#include "StagedOutput.h"

#include "ErrorText.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>
#include <system_error>

namespace platform {
namespace {

constexpr const char* kMarker = ".sonvert-";
constexpr std::size_t kMarkerLength = 9;
constexpr std::size_t kSuffixLength = 6;
constexpr std::size_t kHashLength = 16;

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string Name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix;
    for (std::size_t i = 0; i < kSuffixLength; ++i) {
        suffix += kAlphabet[pick(generator)];
    }
    return suffix;
}

// The stem of the short temporary of an output name too long for the usual one: ".<prefix>.<hash>",
// which with marker and suffix is never longer than the name itself, so it fits wherever the name
// does. The prefix, cut at a character boundary, keeps it readable; the hash of the whole name
// keeps outputs that share the prefix apart, and lets the clean-up find it again.
std::string ShortStem(const std::string& name) {
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a: the same in every run and build
    for (const char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    constexpr std::size_t kOverhead = 2 + kHashLength + kMarkerLength + kSuffixLength;
    std::size_t keep = name.size() > kOverhead ? name.size() - kOverhead : 0;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xc0) == 0x80) {
        --keep;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string stem = "." + name.substr(0, keep) + ".";
    for (int shift = 60; shift >= 0; shift -= 4) {
        stem += kHex[(hash >> shift) & 0xf];
    }
    return stem;
}

// File systems without RENAME_NOREPLACE (some network and FAT drivers) answer EINVAL; a link
// cannot replace anything either, and where links are missing too only a check is left.
int RenameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    if (::link(from, to) == 0) {
        ::unlink(from);
        return 0;
    }
    if (errno == EEXIST) {
        return -1;
    }
    struct stat existing {};
    if (::lstat(to, &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from, to);
}

}  // namespace

bool IdentityOf(int fd, FileIdentity& identity) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return false;
    }
    identity = {status.st_dev, status.st_ino};
    return true;
}

bool IdentityOfPath(const std::string& path, FileIdentity& identity) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return false;
    }
    identity = {status.st_dev, status.st_ino};
    return true;
}

StagedOutput::~StagedOutput() {
    Discard();
}

bool StagedOutput::Create(const std::string& finalPath) {
    Discard();
    final_ = finalPath;
    std::string stem = Folder(finalPath) + "." + Name(finalPath) + kMarker;
    bool shortened = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = stem + RandomSuffix();
        // O_EXCL never follows a link: a name that exists in any form is simply taken.
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            // The usual temporary is longer than the final name, which may just fit.
            if (errno == ENAMETOOLONG && !shortened) {
                stem = Folder(finalPath) + ShortStem(Name(finalPath)) + kMarker;
                shortened = true;
                continue;
            }
            error_ = ErrorText(errno);
            return false;
        }
        ::flock(fd, LOCK_EX | LOCK_NB);
        fd_ = fd;
        temporary_ = candidate;
        return true;
    }
    error_ = ErrorText(EEXIST);
    return false;
}

StagedOutput::Commit StagedOutput::CommitTo(bool keepExisting, const FileIdentity& protect) {
    if (fd_ < 0) {
        error_ = ErrorText(EBADF);
        return Commit::Failed;
    }
    // What is renamed must be the file created above, not whatever took its name meanwhile.
    FileIdentity created;
    FileIdentity named;
    if (!IdentityOf(fd_, created) || !IdentityOfPath(temporary_, named) || !(created == named)) {
        error_ = ErrorText(ENOENT);
        return Commit::Failed;
    }
    if (::fsync(fd_) != 0) {
        error_ = ErrorText(errno);
        return Commit::Failed;
    }
    FileIdentity existing;
    if (IdentityOfPath(final_, existing) && existing == protect) {
        return Commit::Refused;
    }
    const int result = keepExisting ? RenameNoReplace(temporary_.c_str(), final_.c_str())
                                    : ::rename(temporary_.c_str(), final_.c_str());
    if (result != 0) {
        if (keepExisting && errno == EEXIST) {
            return Commit::Exists;
        }
        error_ = ErrorText(errno);
        return Commit::Failed;
    }
    temporary_.clear();
    ::close(fd_);
    fd_ = -1;
    return Commit::Done;
}

void StagedOutput::Discard() {
    if (fd_ < 0) {
        return;
    }
    // Only while the name is still ours: never remove a file that replaced the temporary.
    FileIdentity created;
    FileIdentity named;
    if (IdentityOf(fd_, created) && IdentityOfPath(temporary_, named) && created == named) {
        ::unlink(temporary_.c_str());
    }
    ::close(fd_);
    fd_ = -1;
    temporary_.clear();
}

int RemoveAbandonedTemporaries(const std::string& folder,
                               const std::set<std::string>& outputNames) {
    const int dirFd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return 0;
    }
    DIR* listing = ::fdopendir(::dup(dirFd));
    if (listing == nullptr) {
        ::close(dirFd);
        return 0;
    }
    // Made only when a folder holds a temporary that is not of the usual form.
    std::set<std::string> shortStems;
    bool shortStemsMade = false;
    const auto ours = [&](const std::string& stem) {
        if (outputNames.count(stem.substr(1)) != 0) {
            return true;
        }
        if (!shortStemsMade) {
            for (const std::string& output : outputNames) {
                shortStems.insert(ShortStem(output));
            }
            shortStemsMade = true;
        }
        return shortStems.count(stem) != 0;
    };
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        // ".<output name>.sonvert-XXXXXX", or ".<prefix>.<hash>.sonvert-XXXXXX"
        if (name.size() <= 1 + kMarkerLength + kSuffixLength || name[0] != '.') {
            continue;
        }
        const std::size_t markerAt = name.size() - kSuffixLength - kMarkerLength;
        if (name.compare(markerAt, kMarkerLength, kMarker) != 0 ||
            !ours(name.substr(0, markerAt))) {
            continue;
        }
        const int fd =
            ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat opened {};
        struct stat current {};
        // A writer that still runs holds its lock; only a regular file still under this name goes.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
            S_ISREG(opened.st_mode) &&
            ::fstatat(dirFd, name.c_str(), &current, AT_SYMLINK_NOFOLLOW) == 0 &&
            current.st_dev == opened.st_dev && current.st_ino == opened.st_ino &&
            ::unlinkat(dirFd, name.c_str(), 0) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    ::closedir(listing);
    ::close(dirFd);
    return removed;
}

}  // namespace platform
