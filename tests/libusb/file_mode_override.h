#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Root opens any file whatever its mode; to see "access denied" as a user
// would, this thread gives up the capabilities that override file modes for
// as long as the object lives.
class WithoutFileModeOverride {
public:
    WithoutFileModeOverride() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &header_, saved_) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutFileModeOverride() {
        if (active_) {
            syscall(SYS_capset, &header_, saved_);
        }
    }
    WithoutFileModeOverride(const WithoutFileModeOverride&) = delete;
    WithoutFileModeOverride& operator=(const WithoutFileModeOverride&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};
