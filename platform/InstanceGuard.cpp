#include "InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {
namespace {

std::string GuardPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        return std::string(runtime) + "/" + name + ".lock";
    }
    // Per user, so that two users of one machine do not keep each other out.
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

}  // namespace

bool AcquireInstanceGuard(const std::string& name) {
    const int fd = open(GuardPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a place for the guard nobody can hold it; refusing to start would only lock the
        // user out of the program without a word.
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    // Deliberately left open: the lock lasts as long as the process.
    return true;
}

}  // namespace platform
