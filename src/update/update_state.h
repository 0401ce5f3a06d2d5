#pragma once

#include <cstdint>
#include <string>

#include "common/result_texts.h"

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

// Stable lower-case names of the worker's states, for the log; a value out
// of range is named by its number.
inline std::string UpdateStateName(std::int32_t state) {
    static constexpr const char* names[] = {"restart", "download",  "convert",         "wait for device",
                                            "write",   "succeeded", "wait for unplug", "failed"};
    if (state >= 0 && state < static_cast<std::int32_t>(sizeof names / sizeof names[0]))
        return names[state];
    return "state " + std::to_string(state);
}
