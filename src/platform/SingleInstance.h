#pragma once

#include <string>

namespace pim {

// Only one Pim runs per user: a lock on a file that the kernel releases when the
// process ends, however it ends, so a crashed Pim never blocks the next start.
class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // $XDG_RUNTIME_DIR/Pim.lock, else /tmp/Pim-<uid>.lock.
    static std::string LockPath();

    // False when another instance holds the lock (or the lock file cannot be made).
    bool Acquire();

private:
    int fd_ = -1;
};

} // namespace pim
