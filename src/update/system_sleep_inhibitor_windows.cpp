#include "update/system_sleep_inhibitor.h"

#include <windows.h>

namespace {

// A power request, not the thread execution state: the hold begins and ends
// on whichever of the engine's threads publishes the write's phases, and the
// execution state would belong to the thread that set it.
class PowerRequestInhibitor final : public SleepInhibitorPort {
public:
    PowerRequestInhibitor() {
        REASON_CONTEXT reason{};
        reason.Version = POWER_REQUEST_CONTEXT_VERSION;
        reason.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
        reason.Reason.SimpleReasonString = const_cast<wchar_t*>(L"Writing the Orvo's database");
        request_ = PowerCreateRequest(&reason);
    }
    ~PowerRequestInhibitor() override {
        Release();
        if (request_ != INVALID_HANDLE_VALUE)
            CloseHandle(request_);
    }
    PowerRequestInhibitor(const PowerRequestInhibitor&) = delete;
    PowerRequestInhibitor& operator=(const PowerRequestInhibitor&) = delete;

    void Hold() override {
        if (!held_ && request_ != INVALID_HANDLE_VALUE)
            held_ = PowerSetRequest(request_, PowerRequestSystemRequired) != FALSE;
    }
    void Release() override {
        if (held_)
            PowerClearRequest(request_, PowerRequestSystemRequired);
        held_ = false;
    }
    bool KeepsAwake() const override { return held_; }

private:
    HANDLE request_ = INVALID_HANDLE_VALUE;
    bool held_ = false;
};

}  // namespace

std::unique_ptr<SleepInhibitorPort> SystemSleepInhibitor() { return std::make_unique<PowerRequestInhibitor>(); }
