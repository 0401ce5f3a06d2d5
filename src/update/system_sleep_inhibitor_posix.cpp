#include "update/system_sleep_inhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>

namespace {

// Hold asks logind for the lock and keeps the descriptor it hands out;
// Release closes it, which ends the lock. The call waits at most
// CallTimeoutUs: the guard calls it while the cycle goes on.
class LogindBusInhibitor final : public SleepInhibitorPort {
public:
    static constexpr std::uint64_t CallTimeoutUs = 2'000'000;

    ~LogindBusInhibitor() override { Release(); }

    void Hold() override {
        if (lock_ >= 0)
            return;
        sd_bus* bus = nullptr;
        if (sd_bus_open_system(&bus) < 0)
            return;
        sd_bus_message* call = nullptr;
        sd_bus_message* reply = nullptr;
        sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C compound literal
        int held = -1;
        if (sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "Inhibit") >= 0 &&
            sd_bus_message_append(call, "ssss", "sleep", "Orvo Updater", "Writing the Orvo's database", "block") >= 0 &&
            sd_bus_call(bus, call, CallTimeoutUs, &error, &reply) >= 0 && sd_bus_message_read(reply, "h", &held) >= 0)
            // The reply owns the descriptor it carries: ours is a copy.
            lock_ = fcntl(held, F_DUPFD_CLOEXEC, 3);
        // No logind, or it refused: the write goes on without the lock.
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call);
        sd_bus_flush_close_unref(bus);
    }

    void Release() override {
        if (lock_ < 0)
            return;
        close(lock_);
        lock_ = -1;
    }

    bool KeepsAwake() const override { return lock_ >= 0; }

private:
    int lock_ = -1;
};

}  // namespace

std::unique_ptr<SleepInhibitorPort> SystemSleepInhibitor() { return std::make_unique<LogindBusInhibitor>(); }
