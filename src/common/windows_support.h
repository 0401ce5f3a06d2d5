#pragma once

// Helpers for the Windows files of the platform seams only: everything above
// them speaks UTF-8 and errno values.

#include <windows.h>

#include <string>
#include <string_view>

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

// A path for the wide Windows calls: forward slashes become backslashes.
std::wstring WidePath(const std::string& path);

// The errno value that names a Windows error as the rest of the program
// knows it (ERROR_DISK_FULL and ERROR_HANDLE_DISK_FULL become ENOSPC).
int ErrnoFromWindowsError(DWORD error);

// ErrnoFromWindowsError(GetLastError()), never 0.
int LastWindowsErrno();

// A security descriptor that grants the current user full access and no one
// else any (protected from inheritance), for private files and folders.
class PrivateSecurity {
public:
    PrivateSecurity();
    ~PrivateSecurity();
    PrivateSecurity(const PrivateSecurity&) = delete;
    PrivateSecurity& operator=(const PrivateSecurity&) = delete;

    // Null when the descriptor could not be made.
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// The current user's SID as text ("S-1-5-21-..."), empty when unknown.
std::string CurrentUserSid();
