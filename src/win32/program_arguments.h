#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "win32/wide_text.h"

// The program's command line as the system split it, each word in UTF-8.
inline std::vector<std::string> ProgramArguments() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Narrow(words[i]));
    LocalFree(words);
    return arguments;
}
