#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_files.h"
#include "support/tool_run.h"

extern char** environ;

// The whole updater started twice on one data folder, as a user who clicks
// its icon again would: the second start ends, the first runs on; after a
// crash of the first the next start takes its lock over.
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class OneUpdaterPerFolder : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy in a folder of its own: its folder is its data folder.
        fs::copy_file(fs::path(ORVO_TEST_BIN_DIR) / "orvo-updater", program_);
        fs::create_directory(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
        environment_ = "env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + runtime_.string() + " ";
    }
    void TearDown() override {
        if (first_ > 0) {
            ::kill(first_, SIGKILL);
            ::waitpid(first_, nullptr, 0);
        }
    }

    void StartFirst() {
        const std::string command = "exec " + environment_ + program_.string() + " --language=English >/dev/null 2>&1";
        const char* const argv[] = {"sh", "-c", command.c_str(), nullptr};
        ASSERT_EQ(::posix_spawn(&first_, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
        // Listening is the first's last step before its window: its socket
        // shows that it holds the lock.
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (fs::is_empty(runtime_)) {
            ASSERT_TRUE(FirstRuns()) << "the first updater ended";
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the first updater never listened";
            std::this_thread::sleep_for(10ms);
        }
    }
    bool FirstRuns() { return ::waitpid(first_, nullptr, WNOHANG) == 0; }
    ToolRun Start(const std::string& arguments) {
        return RunShellCommand("timeout 10 " + environment_ + program_.string() + " " + arguments + " 2>&1");
    }

    ScratchFolder folder_{"one_updater"};
    fs::path program_ = folder_.Path() / "orvo-updater";
    fs::path runtime_ = folder_.Path() / "run";
    std::string environment_;
    pid_t first_ = 0;
};

TEST_F(OneUpdaterPerFolder, ASecondStartEndsTheFirstRunsOnAndACrashedOnesLockIsTakenOver) {
    ASSERT_NO_FATAL_FAILURE(StartFirst());

    const ToolRun second = Start("--language=English");
    EXPECT_EQ(second.exitCode, 0) << "not ended within 10 s, or failed: " << second.output;
    EXPECT_NE(second.output.find("already running"), std::string::npos) << second.output;
    EXPECT_TRUE(FirstRuns());

    const ToolRun locations = Start("--locations");
    EXPECT_EQ(locations.exitCode, 0) << locations.output;
    EXPECT_NE(locations.output.find("lock file:      " + (folder_.Path() / "orvo-updater.lock").string()),
              std::string::npos)
        << locations.output;

    ::kill(first_, SIGKILL);
    ::waitpid(first_, nullptr, 0);
    first_ = 0;
    const ToolRun afterCrash = Start("--quit-after-start");
    EXPECT_EQ(afterCrash.exitCode, 0) << afterCrash.output;
    EXPECT_EQ(afterCrash.output.find("already running"), std::string::npos) << afterCrash.output;
}

// Whatever is in the lock file's place that is no file would let a second
// updater run on the same folder: the start is refused, and said.
TEST_F(OneUpdaterPerFolder, AFolderALinkOrAFifoInTheLocksPlaceRefusesTheStart) {
    const fs::path lock = folder_.Path() / "orvo-updater.lock";
    const auto refused = [&](const char* what) {
        const ToolRun start = Start("--quit-after-start");
        EXPECT_EQ(start.exitCode, 1) << what << ": " << start.output;
        EXPECT_NE(start.output.find("cannot start: " + lock.string() + ": not a regular file"), std::string::npos)
            << what << ": " << start.output;
        fs::remove(lock);
    };
    fs::create_directory(lock);
    refused("a folder");
    fs::create_symlink(folder_.Path() / "elsewhere.lock", lock);
    refused("a link");
    ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
    refused("a FIFO");
    const ToolRun start = Start("--language=English --quit-after-start");
    EXPECT_EQ(start.exitCode, 0) << "a plain start after: " << start.output;
}

}  // namespace
