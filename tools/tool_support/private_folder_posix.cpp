#include "tool_support/private_folder.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

namespace {

// The folders the signal handler removes. The handler may run at any moment,
// on any thread, so it reads only these fixed slots, and calls only
// functions that are safe in a handler (open, getdents64, unlinkat, rmdir,
// close, sigaction, raise); no allocation, no lock, no stdio.
constexpr int kSlots = 4;
constexpr std::size_t kPathBytes = 4096;
struct Slot {
    std::atomic<bool> used{false};
    char path[kPathBytes] = {};
};
Slot slots[kSlots];
std::mutex slotsMutex;  // between threads that register; never taken in the handler

struct LinuxDirent64 {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes the entries of the folder at `path`, then the folder. A file that
// another thread creates meanwhile makes rmdir fail: a few passes catch it.
void RemoveFolderInHandler(const char* path) {
    for (int pass = 0; pass < 5; ++pass) {
        const int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0)
            return;
        alignas(8) char buffer[4096];
        long got = 0;
        while ((got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0) {
            for (long at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                if (!IsDotOrDotDot(entry->name))
                    ::unlinkat(folder, entry->name, 0);
                at += entry->length;
            }
        }
        ::close(folder);
        if (::rmdir(path) == 0 || errno != ENOTEMPTY)
            return;
    }
}

void RemoveFoldersAndDie(int signalNumber) {
    const int savedErrno = errno;
    for (Slot& slot : slots)
        if (slot.used.load())
            RemoveFolderInHandler(slot.path);
    // The signal's own ending, with its exit status: the default action once
    // the handler returns (the signal stays blocked until then).
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signalNumber, &fallback, nullptr);
    ::raise(signalNumber);
    errno = savedErrno;
}

// Installed once, for each signal still at its default action.
void InstallHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current {};
            if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction handler {};
            handler.sa_handler = &RemoveFoldersAndDie;
            ::sigemptyset(&handler.sa_mask);
            for (int other : {SIGINT, SIGTERM, SIGHUP})
                ::sigaddset(&handler.sa_mask, other);
            ::sigaction(signalNumber, &handler, nullptr);
        }
    });
}

}  // namespace

bool PrivateTempFolder::Create(const std::string& prefix, std::string& error, const std::string& inFolder) {
    std::error_code ec;
    const std::filesystem::path base =
        inFolder.empty() ? std::filesystem::temp_directory_path(ec) : std::filesystem::path(inFolder);
    if (ec) {
        error = "no temporary folder: " + ec.message();
        return false;
    }
    std::string name = (base / (prefix + "-XXXXXX")).string();
    if (name.size() >= kPathBytes) {
        error = "the temporary folder's name is too long";
        return false;
    }
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    errno = 0;
    if (::mkdtemp(buffer.data()) == nullptr) {
        error = "cannot make a private folder in " + base.string() + ": " + std::strerror(errno);
        return false;
    }
    path_ = buffer.data();
    std::lock_guard lock(slotsMutex);
    for (int i = 0; i < kSlots; ++i) {
        if (!slots[i].used.load()) {
            std::memcpy(slots[i].path, path_.c_str(), path_.size() + 1);
            slots[i].used.store(true);
            slot_ = i;
            break;
        }
    }
    InstallHandlers();
    return true;
}

PrivateTempFolder::~PrivateTempFolder() {
    if (path_.empty())
        return;
    if (slot_ >= 0) {
        std::lock_guard lock(slotsMutex);
        slots[slot_].used.store(false);
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
