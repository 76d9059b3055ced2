// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <set>
#include <string>

namespace platform {

// The identity of a file on disk: two paths with the same identity are one file (hard links too).
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// An output written under a hidden temporary name in its own folder (".a.mp3.sonvert-XXXXXX", or
// for a name too long for that ".<its start>.<hash of it>.sonvert-XXXXXX") and renamed to its final
// name only once it is complete, so that a stopped, failed or killed conversion never leaves a
// truncated file under the final name. The writer holds a lock on its temporary for as long as it
// lives: a later run can tell an abandoned temporary from one that is still being written.
class StagedOutput {
  public:
    enum class Commit {
        Done,     // the output stands under its final name
        Exists,   // keepExisting: an output appeared meanwhile and was left as it was
        Refused,  // the final name is the file that must not be replaced
        Failed,   // the system refused; Error() says why
    };

    StagedOutput() = default;
    // Removes the temporary unless it was committed.
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Creates the temporary beside finalPath, exclusively and never through a symbolic link.
    bool Create(const std::string& finalPath);
    const std::string& TemporaryPath() const { return temporary_; }
    // The reason of the last failure, in words.
    const std::string& Error() const { return error_; }

    // Makes the temporary's content durable and renames it into place. With keepExisting an output
    // that exists by then is never replaced; `protect` (the source) is never replaced either.
    Commit CommitTo(bool keepExisting, const FileIdentity& protect);
    // Removes the temporary.
    void Discard();

  private:
    std::string final_;
    std::string temporary_;
    std::string error_;
    int fd_ = -1;
};

// The identity of an open file, or of a path (not following a final link); nothing on failure.
bool IdentityOf(int fd, FileIdentity& identity);
bool IdentityOfPath(const std::string& path, FileIdentity& identity);

// Removes the temporaries that killed runs left in `folder` for the outputs named, leaving those
// that a running writer still holds. Returns how many were removed.
int RemoveAbandonedTemporaries(const std::string& folder, const std::set<std::string>& outputNames);

}  // namespace platform
