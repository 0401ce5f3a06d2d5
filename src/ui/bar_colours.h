#pragma once

#include "common/colour.h"
#include "common/progress_bar_port.h"

// The progress bar's colour schemes: green while a write runs, teal while a
// read-back runs, red for errors. The filled part and the text over the empty
// part share the scheme's colour; the rest is white.
namespace BarColours {
inline constexpr Colour Write = Rgb(0, 128, 0);
inline constexpr Colour Upload = Rgb(0, 128, 128);
inline constexpr Colour Error = Rgb(255, 0, 0);
inline constexpr Colour White = Rgb(255, 255, 255);

inline void Apply(ProgressBarPort& bar, Colour scheme) {
    bar.SetBarColour(scheme);
    bar.SetTextBkColour(White);
    bar.SetBkColour(White);
    bar.SetTextColour(scheme);
}
}  // namespace BarColours
