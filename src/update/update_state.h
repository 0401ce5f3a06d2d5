#pragma once

#include <cstdint>
#include <string>


// The worker's state; the values are what the shared UpdateState holds.
enum class UpdateState : std::int32_t {
    Restart = 0,
    Download = 1,
    Convert = 2,
    WaitForDevice = 3,
    Write = 4,
    Succeeded = 5,
    WaitForUnplug = 6,
    Failed = 7,
};

// Periods and ids the cycle asks the view for.
namespace CycleTiming {
inline constexpr int PresencePollMs = 500;     // timers 1 and 4
inline constexpr int ConvertAnimationMs = 80;  // timer 2 during the conversion
// The download period is the selected size in KB used as milliseconds; a
// tiny or corrupt size must not turn the animation into a busy loop.
inline constexpr int MinAnimationMs = 10;
}  // namespace CycleTiming

