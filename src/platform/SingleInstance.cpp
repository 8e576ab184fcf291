#include "platform/SingleInstance.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pim {

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string SingleInstance::LockPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        return std::string(runtime) + "/Pim.lock";
    return "/tmp/Pim-" + std::to_string(::getuid()) + ".lock";
}

bool SingleInstance::Acquire() {
    if (fd_ >= 0)
        return true;
    // Close-on-exec: a mail program started by Pim must not keep holding the lock.
    // No-follow: in /tmp another user could plant a link.
    const int fd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

} // namespace pim
