#pragma once

#include <cstdint>

#include "common/cycle_events.h"

// Where a window shows an error.
enum class ErrorShown : std::uint8_t {
    OnBar,        // the bar in the error colours, with the text
    OnBarAndBox,  // the same, and the status report (else the text) in a plain box
    InBox,        // a plain box with the text
    InErrorBox,   // the bar emptied, then a box with the error icon
    NotShown,     // the cycle's outcome says it
};

// The one table of where each error is shown, by what went wrong and how
// far it reaches; every window's display (CycleDisplay) goes by it.
ErrorShown WhereShown(ErrorCause cause, ErrorSeverity severity);
inline ErrorShown WhereShown(const CycleEvents::Error& error) { return WhereShown(error.cause, error.severity); }
