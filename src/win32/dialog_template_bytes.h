#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An extended dialog template as the Windows dialog manager reads it from
// memory (the DLGTEMPLATEEX layout), written without the Windows headers so
// that the byte layout is checked on every platform.
namespace DialogBytes {

// Window and control styles, with the values the platform defines for them.
inline constexpr std::uint32_t Popup = 0x80000000;
inline constexpr std::uint32_t Child = 0x40000000;
inline constexpr std::uint32_t Visible = 0x10000000;
inline constexpr std::uint32_t Caption = 0x00C00000;
inline constexpr std::uint32_t Border = 0x00800000;
inline constexpr std::uint32_t SystemMenu = 0x00080000;
inline constexpr std::uint32_t Group = 0x00020000;
inline constexpr std::uint32_t TabStop = 0x00010000;
inline constexpr std::uint32_t ModalFrame = 0x00000080;  // DS_MODALFRAME
inline constexpr std::uint32_t SetFont = 0x00000040;     // DS_SETFONT
inline constexpr std::uint32_t CentreOnOwner = 0x00000800;  // DS_CENTER
inline constexpr std::uint32_t PushButton = 0x00000000;
inline constexpr std::uint32_t DefaultPushButton = 0x00000001;
inline constexpr std::uint32_t AutoThreeState = 0x00000006;
inline constexpr std::uint32_t BitmapButton = 0x00000080;  // BS_BITMAP
inline constexpr std::uint32_t MultiLineButton = 0x00002000;
inline constexpr std::uint32_t ReadOnlyEdit = 0x00000800;
inline constexpr std::uint32_t AutoHScrollEdit = 0x00000080;
inline constexpr std::uint32_t LeftStatic = 0x00000000;

// Predefined control classes, by the atoms the template names them with.
enum class ControlClass : std::uint16_t { Button = 0x0080, Edit = 0x0081, Static = 0x0082 };

inline constexpr std::uint32_t NoControlId = 0xFFFF;  // a static text nobody addresses

struct Control {
    std::uint32_t id = NoControlId;
    ControlClass kind = ControlClass::Static;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, width = 0, height = 0;  // dialog units
    std::string text;                                  // UTF-8
    // A class by name (a common control such as "SysListView32") in place of `kind`.
    std::string className{};
};

struct Dialog {
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, width = 0, height = 0;  // dialog units
    std::string caption;                               // UTF-8
    std::uint16_t pointSize = 8;
    std::uint16_t weight = 400;
    std::string typeface;  // with SetFont in the style
    std::vector<Control> controls;  // in tab order
};

// UTF-8 to UTF-16 code units; a malformed sequence becomes U+FFFD rather
// than a wrong character or a read past the text.
std::u16string Utf16(const std::string& utf8);
// UTF-16 code units to UTF-8, unpaired surrogates as U+FFFD.
std::string Utf8(const std::u16string& utf16);

// The template's bytes; every control starts on a four-byte boundary
// counted from the first byte, so the buffer must be four-byte aligned
// (std::vector's storage is).
std::vector<std::uint8_t> Write(const Dialog& dialog);

}  // namespace DialogBytes
