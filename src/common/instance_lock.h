#pragma once

#include <cstdint>
#include <string>

// One updater per data folder: a lock on a file beside the settings file (on
// Windows a named mutex, named after that file's path). The system releases
// it when its holder ends, however it ends, so the lock of an updater that
// crashed is simply taken by the next start. The file itself stays; removing
// it would let two starts lock two different files.
inline constexpr const char* InstanceLockFileName = "orvo-updater.lock";

// `dataFolder` ends in the separator (or is empty: the current directory).
std::string InstanceLockPath(const std::string& dataFolder);

class InstanceLock {
public:
    enum class Result {
        Acquired,
        HeldElsewhere,  // another process holds it
        Failed,         // the file cannot be opened or locked; see the error
        // Something else is in the file's place (a folder, a link, a FIFO):
        // planted there or left by mistake, it would let two updaters run on
        // one data folder.
        NotAFile,
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Never waits. A link or anything but a regular file at `path` is
    // refused, not followed or replaced.
    Result Acquire(const std::string& path, std::string& error);
    bool Held() const { return handle_ != NoHandle; }

private:
    // The file descriptor, or the mutex's handle on Windows.
    static constexpr std::intptr_t NoHandle = -1;
    std::intptr_t handle_ = NoHandle;
};
