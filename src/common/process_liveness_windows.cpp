#include "common/process_liveness.h"

#include <cstdio>

#include "common/windows_support.h"

std::int64_t CurrentProcessId() { return ::GetCurrentProcessId(); }

namespace {

// The system's time of day record: its first field is the boot time, fixed
// for the whole boot (unlike the uptime counted back from the clock).
struct TimeOfDayRecord {
    LARGE_INTEGER bootTime;
    LARGE_INTEGER currentTime;
    LARGE_INTEGER timeZoneBias;
    ULONG timeZoneId;
    ULONG reserved;
    ULONGLONG bootTimeBias;
    ULONGLONG sleepTimeBias;
};

using QuerySystemInformation = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
constexpr int SystemTimeOfDayInformation = 3;

}  // namespace

std::string CurrentBootId() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return {};
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQuerySystemInformation")));
    TimeOfDayRecord record{};
    ULONG size = 0;
    if (query == nullptr || query(SystemTimeOfDayInformation, &record, sizeof record, &size) != 0)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "boot-%lld", static_cast<long long>(record.bootTime.QuadPart));
    return text;
}

bool ProcessExists(std::int64_t pid) {
    if (pid <= 0 || pid > 0xFFFFFFFFll)
        return false;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    DWORD exitCode = 0;
    const bool running = !::GetExitCodeProcess(process, &exitCode) || exitCode == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}
