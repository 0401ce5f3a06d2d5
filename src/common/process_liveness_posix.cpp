#include "common/process_liveness.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

std::int64_t CurrentProcessId() { return ::getpid(); }

std::string CurrentBootId() {
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(file, id);
    return id;
}

bool ProcessExists(std::int64_t pid) {
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
