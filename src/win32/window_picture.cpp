#include "win32/window_picture.h"

#include <cstdio>

#include "win32/wide_text.h"

namespace {

int RowBytes(int width) { return (width * 3 + 3) & ~3; }

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

WindowPicture WindowPicture::Capture(HWND window, bool withFrame) {
    WindowPicture picture;
    RECT area{};
    if (withFrame)
        GetWindowRect(window, &area);
    else
        GetClientRect(window, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return picture;
    const HDC source = withFrame ? GetWindowDC(window) : GetDC(window);
    const HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file keeps it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* first = static_cast<const std::uint8_t*>(bits);
        picture.pixels_.assign(first, first + static_cast<std::size_t>(RowBytes(width)) * height);
        picture.width_ = width;
        picture.height_ = height;
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, source);
    return picture;
}

Colour WindowPicture::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0;
    const std::size_t at = static_cast<std::size_t>(height_ - 1 - y) * RowBytes(width_) + static_cast<std::size_t>(x) * 3;
    return Rgb(pixels_[at + 2], pixels_[at + 1], pixels_[at]);
}

bool WindowPicture::SaveBmp(const std::string& path) const {
    if (Empty())
        return false;
    constexpr std::uint32_t HeaderBytes = 14 + 40;
    std::vector<std::uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    PutLittleEndian(file, HeaderBytes + static_cast<std::uint32_t>(pixels_.size()), 4);
    PutLittleEndian(file, 0, 4);
    PutLittleEndian(file, HeaderBytes, 4);
    PutLittleEndian(file, 40, 4);
    PutLittleEndian(file, static_cast<std::uint32_t>(width_), 4);
    PutLittleEndian(file, static_cast<std::uint32_t>(height_), 4);
    PutLittleEndian(file, 1, 2);
    PutLittleEndian(file, 24, 2);
    for (int i = 0; i < 6; ++i)
        PutLittleEndian(file, 0, 4);
    file.insert(file.end(), pixels_.begin(), pixels_.end());
    FILE* out = _wfopen(Wide(path).c_str(), L"wb");
    if (out == nullptr)
        return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}
