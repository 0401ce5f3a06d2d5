// Every test program works in a folder of its own inside the temporary
// folder it was given, and so does every program it starts: TMPDIR names
// that folder from before the first test until the program ends, when it is
// removed with whatever a killed child left in it. ctest gives each run a
// temporary root of its own in the build folder, removed at its end, so that
// what a killed test program left goes too.

#ifndef _WIN32  // the Windows test run keeps wine's own temporary folder

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class PrivateTemporaryFolder {
public:
    PrivateTemporaryFolder() : owner_(::getpid()) {
        std::string pattern = Root() + "/orvo-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("cannot make the test's private temporary folder");
            std::_Exit(1);
        }
        path_ = pattern;
        ::setenv("TMPDIR", path_.c_str(), 1);
    }
    ~PrivateTemporaryFolder() {
        // A forked child that exits normally leaves its parent's folder alone.
        if (::getpid() != owner_)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    PrivateTemporaryFolder(const PrivateTemporaryFolder&) = delete;
    PrivateTemporaryFolder& operator=(const PrivateTemporaryFolder&) = delete;

private:
    // The run's root when ctest made it, else the temporary folder given.
    static std::string Root() {
        std::error_code error;
#ifdef ORVO_TEST_TEMPORARY_ROOT
        if (std::filesystem::is_directory(ORVO_TEST_TEMPORARY_ROOT, error))
            return ORVO_TEST_TEMPORARY_ROOT;
#endif
        const char* given = std::getenv("TMPDIR");
        return given != nullptr && given[0] == '/' ? given : "/tmp";
    }

    pid_t owner_;
    std::string path_;
};

const PrivateTemporaryFolder privateTemporaryFolder;

}  // namespace

#endif
