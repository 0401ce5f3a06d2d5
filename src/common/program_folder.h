#pragma once

#include <string>

// The folder part of a program path, ending in the separator; empty for a bare
// file name.
std::string ProgramFolderOf(const std::string& programPath);

// The program's own executable as the operating system reports it, or
// `fallback` (the first command-line word) when it cannot say.
std::string ResolveProgramPath(const std::string& fallback);
