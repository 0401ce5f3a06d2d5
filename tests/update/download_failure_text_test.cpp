// The line the download error box adds, from real downloads against the
// simulated update server.

#include <gtest/gtest.h>

#include <cerrno>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "database/download_request.h"
#include "database/http_download.h"
#include "device/dfu_device.h"
#include "support/loopback_server.h"
#include "support/test_platform.h"
#include "ui/language_library.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "update/download_failure_text.h"
#include "update_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class DownloadFailureLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ =
            fs::temp_directory_path() / ("orvo_cause_" + std::to_string(CurrentProcessId()) + "_" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string Text(int id) const { return resources_.String(id); }

    // A real download of serial 1234567 into `programFolder` from `host`.
    static DownloadResult Download(const std::string& host, const fs::path& programFolder) {
        HttpDownload client;
        client.connectTimeout = 2000ms;
        client.lowSpeedTime = 2s;
        CycleEventChannel events;
        return DownloadDatabaseWith({host, "1234567", programFolder.string() + "/"}, client, events);
    }
    DownloadResult DownloadFrom(const UpdateServerOptions& options) const {
        SimUpdateServer server(options);
        if (!server.Start())
            ADD_FAILURE() << "the simulated server did not start";
        return Download(server.HostAndPort(), folder_);
    }
    static UpdateServerOptions Fault(ServerFault fault, int status = 500) {
        UpdateServerOptions options;
        options.fault = fault;
        options.errorStatus = status;
        return options;
    }

    fs::path folder_;
    Resources resources_;
};

TEST_F(DownloadFailureLineTest, NamesTheServersStatus) {
    ORVO_SKIP_WITHOUT(SimulatedServer);
    for (int status : {404, 500}) {
        const DownloadResult result = DownloadFrom(Fault(ServerFault::ErrorStatus, status));
        ASSERT_EQ(result.outcome, DownloadOutcome::HttpError) << result.detail;
        const std::string line = DownloadFailureLine(resources_, result);
        EXPECT_NE(line.find("HTTP status " + std::to_string(status)), std::string::npos) << line;
        const DownloadCause cause = DownloadFailureCause(result);
        EXPECT_EQ(cause.textId, ResourceId::DownloadCauseHttpStatus);
        EXPECT_EQ(cause.values, std::vector<std::string>{std::to_string(status)});
    }
}

TEST_F(DownloadFailureLineTest, NamesTheHostThatRefusedTheConnection) {
    std::string host;
    {
        const LoopbackServer server;
        ASSERT_TRUE(server.Listening());
        host = server.HostAndPort();
    }  // stopped: the port now refuses connections
    const DownloadResult result = Download(host, folder_);
    ASSERT_EQ(result.outcome, DownloadOutcome::NotConnected) << result.detail;
    EXPECT_EQ(DownloadFailureLine(resources_, result), "No connection to " + host + ".");
    // The history's cause names the update server, not a host the user never sees.
    const DownloadCause cause = DownloadFailureCause(result);
    EXPECT_EQ(cause.textId, ResourceId::DownloadCauseNoServerText);
    EXPECT_TRUE(cause.values.empty());
}

TEST_F(DownloadFailureLineTest, NamesTheFolderThatCannotBeWritten) {
    // A file where the folder should be: not writable even for root.
    const fs::path blocked = folder_ / "blocked";
    std::ofstream(blocked) << "a file, not a folder";
    const LoopbackServer server([](const std::string&, int) {
        return std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
    });
    const DownloadResult result = Download(server.HostAndPort(), blocked);
    ASSERT_EQ(result.outcome, DownloadOutcome::FileError) << result.detail;
    EXPECT_EQ(DownloadFailureLine(resources_, result), "Could not write " + blocked.string() + ".");
}

// A full disk or a folder that may not be written is not a network fault:
// the line says which it is, with the folder.
TEST_F(DownloadFailureLineTest, NamesAFullDiskAndAFolderThatMayNotBeWritten) {
    DownloadResult result;
    result.outcome = DownloadOutcome::FileError;
    result.folder = "/home/u/.local/share/orvo-updater";
    const std::pair<int, const char*> cases[] = {
        {ENOSPC, "The disk holding /home/u/.local/share/orvo-updater is full."},
        {EROFS, "The folder /home/u/.local/share/orvo-updater may not be written."},
        {EACCES, "The folder /home/u/.local/share/orvo-updater may not be written."},
        {EIO, "Could not write /home/u/.local/share/orvo-updater."},
    };
    for (const auto& [error, line] : cases) {
        result.fileError = error;
        EXPECT_EQ(DownloadFailureLine(resources_, result), line) << error;
    }
}

TEST_F(DownloadFailureLineTest, SaysTimedOutForAStallAndForTheTotalLimit) {
    ORVO_SKIP_WITHOUT(SimulatedServer);
    const DownloadResult stalled = DownloadFrom(Fault(ServerFault::Stall));
    ASSERT_EQ(stalled.outcome, DownloadOutcome::Stalled) << stalled.detail;
    EXPECT_EQ(DownloadFailureLine(resources_, stalled), Text(ResourceId::DownloadCauseTimedOut));

    UpdateServerOptions trickle = Fault(ServerFault::Trickle);
    trickle.records = 5000;
    SimUpdateServer server(trickle);
    ORVO_START_SIMULATED_SERVER(server);
    HttpDownload client;
    client.lowSpeedBytesPerSecond = 1;
    client.totalTimeout = 1000ms;
    CycleEventChannel events;
    const DownloadResult late = DownloadDatabaseWith({server.HostAndPort(), "1234567", folder_.string() + "/"}, client, events);
    ASSERT_EQ(late.outcome, DownloadOutcome::TimedOut) << late.detail;
    EXPECT_EQ(DownloadFailureLine(resources_, late), Text(ResourceId::DownloadCauseTimedOut));
    EXPECT_NE(Text(ResourceId::DownloadCauseTimedOut).find("timed out"), std::string::npos);
}

TEST_F(DownloadFailureLineTest, EachCauseHasALineOfItsOwn) {
    ORVO_SKIP_WITHOUT(SimulatedServer);
    std::set<std::string> lines;
    for (const auto& options : {Fault(ServerFault::ErrorStatus, 404), Fault(ServerFault::Truncated),
                                Fault(ServerFault::Stall), Fault(ServerFault::NoLength)}) {
        const std::string line = DownloadFailureLine(resources_, DownloadFrom(options));
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        EXPECT_EQ(line.find("%1"), std::string::npos) << line;
        lines.insert(line);
    }
    EXPECT_EQ(lines.size(), 4u);

    const DownloadResult stored = DownloadFrom(UpdateServerOptions{});
    ASSERT_TRUE(stored.Stored()) << stored.detail;
    EXPECT_EQ(DownloadFailureLine(resources_, stored), "");
}

TEST_F(DownloadFailureLineTest, IsInTheLanguageInForceWithTheValueKept) {
    ORVO_SKIP_WITHOUT(SimulatedServer);
    const DownloadResult result = DownloadFrom(Fault(ServerFault::ErrorStatus, 404));
    ASSERT_EQ(result.outcome, DownloadOutcome::HttpError);
    const std::string english = DownloadFailureLine(resources_, result);
    std::shared_ptr<const ResourceSource> german = LanguageLibrary::Load(std::string(ORVO_TEST_BIN_DIR) + "/", "Lang_GER.Dll");
    ASSERT_NE(german, nullptr);
    resources_.Switch(german);
    const std::string line = DownloadFailureLine(resources_, result);
    EXPECT_NE(line, english);
    EXPECT_NE(line.find("404"), std::string::npos) << line;
    EXPECT_EQ(line.find("%1"), std::string::npos) << line;
}

}  // namespace
