#pragma once

#include <string>

// Loads the shared library at the absolute `path` and finds its exported
// function `name`; null when either fails. The library is never unloaded:
// what it hands out points into it.
void* LoadModuleFunction(const std::string& path, const char* name);
