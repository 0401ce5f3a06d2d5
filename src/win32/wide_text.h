#pragma once

#include <string>

#include "win32/dialog_template_bytes.h"

// UTF-8 inside, UTF-16 at every call into the Windows API.
inline std::wstring Wide(const std::string& utf8) {
    const std::u16string units = DialogBytes::Utf16(utf8);
    return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(const std::wstring& wide) {
    return DialogBytes::Utf8(std::u16string(wide.begin(), wide.end()));
}
