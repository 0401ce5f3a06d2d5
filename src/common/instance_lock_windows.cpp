#include "common/instance_lock.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "common/file_io.h"
#include "common/windows_support.h"

std::string InstanceLockPath(const std::string& dataFolder) { return dataFolder + InstanceLockFileName; }

namespace {

// Mutex names cannot hold a backslash and are compared exactly: the name is
// a hash of the lower-cased path with one kind of separator.
std::wstring MutexNameFor(const std::string& path) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (const char c : path) {
        const char folded = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\OrvoUpdater-%016llx", static_cast<unsigned long long>(hash));
    return Widen(name);
}

}  // namespace

InstanceLock::~InstanceLock() {
    if (Held())
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

InstanceLock::Result InstanceLock::Acquire(const std::string& path, std::string& error) {
    if (Held())
        return Result::Acquired;
    // The same rule as for any file written: a link, folder or device in the
    // lock file's place is refused, never followed or replaced.
    if (const int refused = CheckWriteTarget(path); refused != 0) {
        error = WriteErrorText(path, refused);
        return Result::Failed;
    }
    if (const int created = CreatePrivateFile(path); created != 0 && created != EEXIST) {
        error = WriteErrorText(path, created);
        return Result::Failed;
    }
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, MutexNameFor(path).c_str());
    if (mutex == nullptr) {
        error = WriteErrorText(path, LastWindowsErrno());
        return Result::Failed;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return Result::HeldElsewhere;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
    return Result::Acquired;
}
