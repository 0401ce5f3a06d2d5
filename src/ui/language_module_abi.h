#pragma once

#include <stddef.h>

// The one entry point a language module exports. `kind` takes the values of
// ResourceKind (0 string, 1 menu item, 2 dialog item, 3 bitmap). Returns 1
// and sets `*data` and `*size` when the module has the resource (the bytes
// stay valid while the module is loaded; texts are UTF-8, bitmaps the bytes of
// a BMP file), 0 when it lacks it.
#define ORVO_LANGUAGE_ENTRY_POINT "OrvoFindResource"

extern "C" {
typedef int (*OrvoFindResourceFunction)(int kind, int id, int item, const char** data, size_t* size);
}
