#include "ui/flag_pictures.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int FlagHeight = 87;
constexpr int FirstFlagWidth = 150;
constexpr int FlagWidth = 151;

// The 16-colour palette, as red, green, blue.
enum Colour : std::uint8_t {
    Black, White, UnionRed, UnionBlue, FrenchBlue, FrenchRed, DutchRed, DutchBlue,
    SpanishRed, SpanishYellow, GermanRed, GermanGold, FinnishBlue, SwedishBlue, SwedishYellow, Grey,
};
constexpr std::array<std::array<std::uint8_t, 3>, 16> Palette{{
    {0, 0, 0}, {255, 255, 255}, {200, 16, 46}, {1, 33, 105}, {0, 85, 164}, {239, 65, 53}, {174, 28, 40},
    {33, 70, 139}, {170, 21, 27}, {241, 191, 0}, {221, 0, 0}, {255, 206, 0}, {0, 47, 108}, {0, 106, 167},
    {254, 204, 0}, {128, 128, 128},
}};

// Coordinates of a pixel's centre in the flag's own units.
struct FlagPoint {
    double u;
    double v;
};

using ColourAt = Colour (*)(FlagPoint point);  // point in units of a 1 x 1 flag

Colour UnitedKingdom(FlagPoint p) {
    // On a 60 x 30 grid: white saltire 6 wide with red 2 wide, white cross 10
    // wide with red cross 6 wide.
    const double u = p.u * 60.0;
    const double v = p.v * 30.0;
    if (std::abs(u - 30.0) < 3.0 || std::abs(v - 15.0) < 3.0)
        return UnionRed;
    if (std::abs(u - 30.0) < 5.0 || std::abs(v - 15.0) < 5.0)
        return White;
    const double length = std::sqrt(60.0 * 60.0 + 30.0 * 30.0);
    const double downward = (u * 30.0 - v * 60.0) / length;         // from the top left corner
    const double upward = (u * 30.0 - (30.0 - v) * 60.0) / length;  // from the bottom left corner
    // The red of the saltire lies on the clockwise side of each white band.
    const bool left = u < 30.0;
    const bool top = v < 15.0;
    const double redDown = (left == top) ? -downward : downward;
    const double redUp = (left != top) ? upward : -upward;
    if ((redDown > 0.0 && redDown < 2.0 && std::abs(downward) < 3.0) ||
        (redUp > 0.0 && redUp < 2.0 && std::abs(upward) < 3.0))
        return UnionRed;
    if (std::abs(downward) < 3.0 || std::abs(upward) < 3.0)
        return White;
    return UnionBlue;
}

Colour France(FlagPoint p) { return p.u < 1.0 / 3 ? FrenchBlue : p.u < 2.0 / 3 ? White : FrenchRed; }
Colour Netherlands(FlagPoint p) { return p.v < 1.0 / 3 ? DutchRed : p.v < 2.0 / 3 ? White : DutchBlue; }
Colour Spain(FlagPoint p) { return p.v < 0.25 || p.v >= 0.75 ? SpanishRed : SpanishYellow; }
Colour Germany(FlagPoint p) { return p.v < 1.0 / 3 ? Black : p.v < 2.0 / 3 ? GermanRed : GermanGold; }

// A Nordic cross on a grid of `width` x `height` units, its arms from
// `crossLeft` and `crossTop`, `arm` units wide.
bool InNordicCross(FlagPoint p, double width, double height, double crossLeft, double crossTop, double arm) {
    const double u = p.u * width;
    const double v = p.v * height;
    return (u >= crossLeft && u < crossLeft + arm) || (v >= crossTop && v < crossTop + arm);
}
Colour Finland(FlagPoint p) { return InNordicCross(p, 18, 11, 5, 4, 3) ? FinnishBlue : White; }
Colour Sweden(FlagPoint p) { return InNordicCross(p, 16, 10, 5, 4, 2) ? SwedishYellow : SwedishBlue; }

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

// A 4-bit-per-pixel BMP file: file header, information header, palette, rows
// bottom-up, each padded to four bytes.
std::string DrawFlag(int width, int height, ColourAt colourAt) {
    const std::uint32_t rowBytes = static_cast<std::uint32_t>((width + 7) / 8 * 4);
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(height);
    const std::uint32_t headerBytes = 14 + 40 + 16 * 4;
    std::string bmp;
    bmp.reserve(headerBytes + pixelBytes);
    bmp += "BM";
    PutLittleEndian(bmp, headerBytes + pixelBytes, 4);
    PutLittleEndian(bmp, 0, 4);
    PutLittleEndian(bmp, headerBytes, 4);
    PutLittleEndian(bmp, 40, 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(width), 4);
    PutLittleEndian(bmp, static_cast<std::uint32_t>(height), 4);
    PutLittleEndian(bmp, 1, 2);   // planes
    PutLittleEndian(bmp, 4, 2);   // bits per pixel
    PutLittleEndian(bmp, 0, 4);   // no compression
    PutLittleEndian(bmp, pixelBytes, 4);
    PutLittleEndian(bmp, 3780, 4);  // 96 dots per inch
    PutLittleEndian(bmp, 3780, 4);
    PutLittleEndian(bmp, 16, 4);
    PutLittleEndian(bmp, 16, 4);
    for (const auto& [red, green, blue] : Palette) {
        bmp.push_back(static_cast<char>(blue));
        bmp.push_back(static_cast<char>(green));
        bmp.push_back(static_cast<char>(red));
        bmp.push_back('\0');
    }
    for (int row = height - 1; row >= 0; --row) {
        std::vector<std::uint8_t> line(rowBytes, 0);
        for (int column = 0; column < width; ++column) {
            const FlagPoint point{(column + 0.5) / width, (row + 0.5) / height};
            const auto colour = static_cast<std::uint8_t>(colourAt(point));
            line[static_cast<std::size_t>(column / 2)] |=
                static_cast<std::uint8_t>(column % 2 == 0 ? colour << 4 : colour);
        }
        bmp.append(line.begin(), line.end());
    }
    return bmp;
}

}  // namespace

std::string FlagBitmap(int bitmapId) {
    switch (bitmapId) {
    case 144: return DrawFlag(FirstFlagWidth, FlagHeight, UnitedKingdom);
    case 145: return DrawFlag(FlagWidth, FlagHeight, France);
    case 146: return DrawFlag(FlagWidth, FlagHeight, Netherlands);
    case 147: return DrawFlag(FlagWidth, FlagHeight, Spain);
    case 148: return DrawFlag(FlagWidth, FlagHeight, Germany);
    case 149: return DrawFlag(FlagWidth, FlagHeight, Finland);
    case 150: return DrawFlag(FlagWidth, FlagHeight, Sweden);
    default: return {};
    }
}
