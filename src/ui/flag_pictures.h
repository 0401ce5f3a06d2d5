#pragma once

#include <string>

// The seven flags of the language dialog, drawn by the program itself as
// 16-colour BMP files: 150 x 87 pixels for the first, 151 x 87 for the others.
// Bitmap ids 144 (United Kingdom), 145 (France), 146 (Netherlands),
// 147 (Spain), 148 (Germany), 149 (Finland), 150 (Sweden). Empty for any other id.
// Self-contained, so the language modules build the same pictures.
std::string FlagBitmap(int bitmapId);
