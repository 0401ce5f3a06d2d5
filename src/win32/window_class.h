#pragma once

#include <windows.h>

// Registers a class of this program's windows: the arrow cursor, and
// `background` and `icon` when given. The callers keep the answer in a
// function-local static, so each class is registered once, by whichever
// thread makes the first window of it. False when Windows refuses.
bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background = nullptr, HICON icon = nullptr);
