#pragma once

#include <cstdint>
#include <string>

// What the history needs to tell whether the process that started a cycle
// can still be running it.

// This process's id.
std::int64_t CurrentProcessId();

// An identity of the current boot of the system: a process id recorded in an
// earlier boot names no running process. Empty when the system cannot say.
std::string CurrentBootId();

// Whether a process with this id exists now (one that exists but may not be
// looked at counts as running).
bool ProcessExists(std::int64_t pid);
