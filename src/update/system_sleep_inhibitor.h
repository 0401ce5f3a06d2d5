#pragma once

#include <memory>

#include "update/sleep_guard.h"

// What holds the system awake, the platform's own: logind's "sleep" lock in
// "block" mode over the system bus on Linux, a power request on Windows.
// Hold waits for the system's answer (at most a few seconds), so it is called
// from the engine's threads, never from a window's. Without a system bus or
// logind, or where the system refuses, nothing is held and KeepsAwake says so.
std::unique_ptr<SleepInhibitorPort> SystemSleepInhibitor();
