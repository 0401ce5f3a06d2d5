#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/colour.h"

// A picture as a PNG file: 8-bit RGB, no interlace, its image data in
// stored (uncompressed) deflate blocks. Plain and a little large, and
// readable by every viewer: a screenshot needs no compression library.
//   `pixels`: width * height colours, rows from the top.
std::string EncodePng(int width, int height, const std::vector<Colour>& pixels);
