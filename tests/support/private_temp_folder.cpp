// Every test program works in folders of its own, made before the first test
// and removed when it ends with whatever a killed child left in them: its
// temporary folder (TMPDIR, which the programs it starts inherit) and the
// folder its programs run from (TestProgramFolder). ctest makes a root for
// each of them per run and removes both at the end, so that what a killed
// test program left goes too (tests/support/program_folder_check.cmake).

#include "support/private_folders.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "support/test_platform.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder in `root` (when it exists) or in the system's temporary
// folder. Short names: a Unix socket's path in it must stay under 108 bytes.
std::string MakePrivateFolder(const char* root, const char* prefix) {
    std::error_code error;
    if (root != nullptr && fs::is_directory(root, error))
        return MakeUniqueFolder(NativePath(root), "");
    return MakeUniqueFolder(SystemTemporaryFolder(), prefix);
}

class PrivateFolders {
public:
    PrivateFolders() : owner_(CurrentProcessId()) {
#ifdef ORVO_TEST_TEMPORARY_ROOT
        temporary_ = MakePrivateFolder(ORVO_TEST_TEMPORARY_ROOT, "");
#else
        temporary_ = MakePrivateFolder(nullptr, "orvo-test-");
#endif
        UseTemporaryFolder(temporary_);
    }
    ~PrivateFolders() {
        // A forked child that exits normally leaves its parent's folders alone.
        if (CurrentProcessId() != owner_)
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
            if (!entry.is_regular_file() || !(resource || IsProgramFileName(name)))
                continue;
            std::error_code linked;
            fs::create_hard_link(entry.path(), made / name, linked);
            if (linked)
                fs::copy_file(entry.path(), made / name, fs::copy_options::overwrite_existing);
        }
        return made.string();
    }

    std::int64_t owner_;
    std::string temporary_;
    std::mutex mutex_;
    std::string programs_;
};

PrivateFolders privateFolders;

}  // namespace

std::string TestProgramFolder() { return privateFolders.Programs(); }
