// Every test program works in folders of its own, made before the first test
// and removed when it ends with whatever a killed child left in them: its
// temporary folder (TMPDIR, which the programs it starts inherit) and the
// folder its programs run from (TestProgramFolder). ctest makes a root for
// each of them per run and removes both at the end, so that what a killed
// test program left goes too (tests/support/program_folder_check.cmake).

#include "support/private_folders.h"

#ifndef _WIN32  // the Windows test run keeps wine's own temporary folder

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// A fresh folder in `root` (when it exists) or in the temporary folder given.
// Short names: a Unix socket's path in it must stay under 108 bytes.
std::string MakePrivateFolder(const char* root, const char* prefix) {
    std::error_code error;
    std::string base;
    if (root != nullptr && fs::is_directory(root, error)) {
        base = root;
    } else {
        const char* given = std::getenv("TMPDIR");
        base = given != nullptr && given[0] == '/' ? given : "/tmp";
    }
    std::string pattern = base + "/" + prefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror(("cannot make a private folder in " + base).c_str());
        std::_Exit(1);
    }
    return pattern;
}

class PrivateFolders {
public:
    PrivateFolders() : owner_(::getpid()) {
#ifdef ORVO_TEST_TEMPORARY_ROOT
        temporary_ = MakePrivateFolder(ORVO_TEST_TEMPORARY_ROOT, "");
#else
        temporary_ = MakePrivateFolder(nullptr, "orvo-test-");
#endif
        ::setenv("TMPDIR", temporary_.c_str(), 1);
    }
    ~PrivateFolders() {
        // A forked child that exits normally leaves its parent's folders alone.
        if (::getpid() != owner_)
            return;
        std::error_code ignored;
        fs::remove_all(temporary_, ignored);
        if (!programs_.empty())
            fs::remove_all(programs_, ignored);
    }
    PrivateFolders(const PrivateFolders&) = delete;
    PrivateFolders& operator=(const PrivateFolders&) = delete;

    std::string Programs() {
        std::lock_guard lock(mutex_);
        if (programs_.empty())
            programs_ = LinkPrograms();
        return programs_;
    }

private:
    static std::string LinkPrograms() {
#ifdef ORVO_TEST_PROGRAM_ROOT
        const fs::path made = MakePrivateFolder(ORVO_TEST_PROGRAM_ROOT, "");
#else
        const fs::path made = MakePrivateFolder(nullptr, "orvo-programs-");
#endif
        for (const auto& entry : fs::directory_iterator(ORVO_TEST_BIN_DIR)) {
            const std::string name = entry.path().filename().string();
            const bool resource = name.ends_with(".Dll") || name.ends_with(".bmp");
            const bool program = name.rfind("orvo-", 0) == 0 && name.find('.') == std::string::npos;
            if (!entry.is_regular_file() || !(resource || program))
                continue;
            std::error_code linked;
            fs::create_hard_link(entry.path(), made / name, linked);
            if (linked)
                fs::copy_file(entry.path(), made / name, fs::copy_options::overwrite_existing);
        }
        return made.string();
    }

    pid_t owner_;
    std::string temporary_;
    std::mutex mutex_;
    std::string programs_;
};

PrivateFolders privateFolders;

}  // namespace

std::string TestProgramFolder() { return privateFolders.Programs(); }

#else

std::string TestProgramFolder() { return ORVO_TEST_BIN_DIR; }

#endif
