#pragma once

#include <memory>

#include "update/sleep_guard.h"

// What holds the system awake from a terminal, without a window's toolkit:
// logind's "sleep" lock in "block" mode over the system bus where there is
// one; otherwise (no bus, no logind, a platform without them) nothing is held.
std::unique_ptr<SleepInhibitorPort> SystemSleepInhibitor();
