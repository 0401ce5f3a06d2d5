#include "tool_support/console_text.h"

#include <windows.h>

// Only the console's output needs it: the command line arrives in UTF-8 by
// the program's manifest, and a pipe or a file takes the bytes as they are.
void UseUtf8Console() { ::SetConsoleOutputCP(CP_UTF8); }
