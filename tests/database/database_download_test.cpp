#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "database/download_request.h"
#include "database/http_download.h"
#include "database/database_conversion.h"
#include "support/http_client_gaps.h"
#include "support/loopback_server.h"
#include "support/recording_ports.h"
#include "support/test_platform.h"
#include "update_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kSerial = "1234567";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

// A request whose working folder is a fresh directory of its own, holding a
// stale database text from an "earlier run".
class DatabaseDownload : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  ("orvo_download_" + std::to_string(CurrentProcessId()) + "_" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        request_.folder = folder_.string() + "/";
        request_.serial = kSerial;
        std::ofstream(DatabaseFile(), std::ios::binary) << "stale database from an earlier run";
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path DatabaseFile() const { return folder_ / "tesselDB.txt"; }

    void PointAt(const SimUpdateServer& server) { request_.serverHost = server.HostAndPort(); }
    DownloadResult Download(const HttpDownload& client) { return DownloadDatabaseWith(request_, client, events_); }

    // Short limits so a misbehaving server costs the test a second or two.
    static HttpDownload ShortLimits() {
        HttpDownload client;
        client.connectTimeout = 2000ms;
        client.lowSpeedTime = 1s;
        client.maxBytes = 1u << 20;
        return client;
    }

    void ExpectNothingStored() const {
        EXPECT_TRUE(FilesIn(folder_).empty()) << "left: " << ::testing::PrintToString(FilesIn(folder_));
    }

    fs::path folder_;
    DatabaseRequest request_;
    CycleEventChannel events_;
};

}  // namespace

TEST_F(DatabaseDownload, StoresExactlyTheBytesServedInPlaceOfTheStaleFile) {
    UpdateServerOptions options;
    options.records = 3000;
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);

    EXPECT_TRUE(Download(HttpDownload{}).Stored());

    const std::string served = server.DatabaseTextFor(kSerial);
    ASSERT_GT(served.size(), 30000u);
    EXPECT_EQ(ReadFile(DatabaseFile()), served);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{"tesselDB.txt"});  // no temporary left
    EXPECT_EQ(server.RequestCount(), 1u);
}

// The signature is over the raw serial and the server checks it against the
// decoded `s`: both sides must agree for a serial that needs encoding.
TEST_F(DatabaseDownload, SerialWithReservedCharactersRoundTrips) {
    SimUpdateServer server;
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    const std::string serial = "12&s=9 x+";
    request_.serial = serial;

    const DownloadResult result = Download(ShortLimits());

    EXPECT_TRUE(result.Stored()) << result.detail;
    EXPECT_EQ(ReadFile(DatabaseFile()), server.DatabaseTextFor(serial));
}

TEST_F(DatabaseDownload, ErrorStatusStoresNothing) {
    for (int status : {403, 404, 500}) {
        SCOPED_TRACE(status);
        std::ofstream(DatabaseFile()) << "stale";
        UpdateServerOptions options;
        options.fault = ServerFault::ErrorStatus;
        options.errorStatus = status;
        SimUpdateServer server(options);
        ORVO_START_SIMULATED_SERVER(server);
        PointAt(server);

        const DownloadResult result = Download(ShortLimits());

        EXPECT_EQ(result.outcome, DownloadOutcome::HttpError) << result.detail;
        EXPECT_EQ(result.httpStatus, status);
        ExpectNothingStored();
    }
}

TEST_F(DatabaseDownload, NoServerListeningFailsPromptly) {
    std::string host;
    {
        SimUpdateServer server;
        ORVO_START_SIMULATED_SERVER(server);
        host = server.HostAndPort();
    }  // stopped: the port now refuses connections
    request_.serverHost = host;

    const DownloadResult result = Download(HttpDownload{});
    EXPECT_EQ(result.outcome, DownloadOutcome::NotConnected) << result.detail;
    ExpectNothingStored();
}

TEST_F(DatabaseDownload, UnresolvableHostStoresNothing) {
    request_.serverHost = "update-server.orvo.invalid";
    const DownloadResult result = Download(ShortLimits());
    EXPECT_EQ(result.outcome, DownloadOutcome::NotConnected) << result.detail;
    ExpectNothingStored();
}

TEST_F(DatabaseDownload, StalledTransferEndsAtTheSpeedFloor) {
    UpdateServerOptions options;
    options.fault = ServerFault::Stall;
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);

    // The server holds the answer for two minutes: only the speed floor ends it.
    const DownloadResult result = Download(ShortLimits());

    EXPECT_EQ(result.outcome, DownloadOutcome::Stalled) << result.detail;
    EXPECT_GT(result.bytes, 0u);  // part of the answer had arrived
    ExpectNothingStored();
}

// The connection is made (the kernel accepts into the listen queue) but no
// answer ever comes.
TEST_F(DatabaseDownload, ServerThatNeverAnswersEndsAtTheSpeedFloor) {
    ORVO_SKIP_WITHOUT(SilentServerEnds);
    const LoopbackServer silent;
    ASSERT_TRUE(silent.Listening());
    request_.serverHost = silent.HostAndPort();

    const DownloadResult result = Download(ShortLimits());

    EXPECT_EQ(result.outcome, DownloadOutcome::Stalled) << result.detail;
    ExpectNothingStored();
}

TEST(DownloadLimits, DefaultsAreOneKibPerSecondOverAMinuteAndFifteenMinutesInAll) {
    const HttpDownload client;
    EXPECT_EQ(client.lowSpeedBytesPerSecond, 1024);
    EXPECT_EQ(client.lowSpeedTime, std::chrono::seconds(60));
    EXPECT_EQ(client.totalTimeout, std::chrono::minutes(15));
}

// The rule on its own clock: one progress report a second, as curl gives.
TEST(DownloadLimits, OnlyTheSpeedFloorAndTheTotalLimitEndATransfer) {
    using Verdict = TransferPace::Verdict;
    struct Case {
        const char* name;
        long firstByteSecond;   // when the bytes start to come (after connecting at 0)
        long bytesPerSecond;    // from then on
        int seconds;            // how long the transfer runs
        Verdict last;
    };
    const Case cases[] = {
        // The first byte after 45 s and then fast: 60 s average above 1 KiB/s.
        {"late first byte, then fast", 45, 100000, 120, Verdict::Going},
        {"silent for a whole window", 1000, 0, 61, Verdict::TooSlow},
        {"silent for a little under the window", 59, 100000, 60, Verdict::Going},
        {"below the floor", 0, 1000, 61, Verdict::TooSlow},
        {"at the floor for fourteen minutes", 0, 1024, 900, Verdict::TooLong},
    };
    for (const Case& c : cases) {
        TransferPace pace(1024, 60s, 15min);
        Verdict verdict = Verdict::Going;
        std::uint64_t received = 0;
        for (int second = 0; second <= c.seconds && verdict == Verdict::Going; ++second) {
            if (second > c.firstByteSecond)
                received += static_cast<std::uint64_t>(c.bytesPerSecond);
            verdict = pace.Judge(std::chrono::seconds(second), true, received);
        }
        EXPECT_EQ(verdict, c.last) << c.name;
    }
    // Before the connection only the total limit counts.
    TransferPace connecting(1024, 60s, 15min);
    EXPECT_EQ(connecting.Judge(120s, false, 0), Verdict::Going);
    EXPECT_EQ(connecting.Judge(15min, false, 0), Verdict::TooLong);
}

// The trickle never falls silent, so only the speed floor can end it.
TEST_F(DatabaseDownload, TrickleBelowTheSpeedFloorEndsAsAFailure) {
    UpdateServerOptions options;
    options.fault = ServerFault::Trickle;
    options.records = 5000;  // about a hundred seconds at the trickle's pace
    options.trickleBytes = 32;
    options.trickleInterval = 100ms;  // 320 bytes/s
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    HttpDownload client = ShortLimits();
    client.lowSpeedBytesPerSecond = 1024;
    client.lowSpeedTime = 1500ms;

    const DownloadResult result = Download(client);

    EXPECT_EQ(result.outcome, DownloadOutcome::Stalled) << result.detail;
    EXPECT_GT(result.bytes, 0u);
    ExpectNothingStored();
}

// Above the floor, but far from done when the total time is up.
TEST_F(DatabaseDownload, TrickleAboveTheFloorEndsAtTheTotalLimit) {
    UpdateServerOptions options;
    options.fault = ServerFault::Trickle;
    options.records = 5000;
    options.trickleBytes = 64;
    options.trickleInterval = 50ms;  // 1,280 bytes/s
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    HttpDownload client = ShortLimits();
    client.lowSpeedBytesPerSecond = 100;
    client.lowSpeedTime = 1000ms;
    client.totalTimeout = 2500ms;

    const DownloadResult result = Download(client);

    EXPECT_EQ(result.outcome, DownloadOutcome::TimedOut) << result.detail;
    EXPECT_GT(result.bytes, 0u);
    ExpectNothingStored();
}

// A slow start is not judged on its own: what counts is the average over a
// whole window, and a transfer that finishes is stored.
TEST_F(DatabaseDownload, TrickleAboveTheFloorThatFinishesInTimeIsStored) {
    UpdateServerOptions options;
    options.fault = ServerFault::Trickle;
    options.records = 20;
    options.trickleBytes = 16;
    options.trickleInterval = 20ms;  // 800 bytes/s
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    HttpDownload client = ShortLimits();
    client.lowSpeedBytesPerSecond = 50;
    client.lowSpeedTime = 300ms;

    const DownloadResult result = Download(client);

    EXPECT_TRUE(result.Stored()) << result.detail;
    EXPECT_EQ(ReadFile(DatabaseFile()), server.DatabaseTextFor(kSerial));
}

// Cut off after half: with a length the shortfall shows; without a length
// or chunked framing nothing could show it, so such an answer is refused.
TEST_F(DatabaseDownload, AnswerThatMayBeCutOffStoresNothing) {
    for (const auto& [fault, outcome] : {std::pair{ServerFault::Truncated, DownloadOutcome::Truncated},
                                         std::pair{ServerFault::NoLength, DownloadOutcome::Unframed}}) {
        UpdateServerOptions options;
        options.fault = fault;
        SimUpdateServer server(options);
        ORVO_START_SIMULATED_SERVER(server);
        PointAt(server);

        const DownloadResult result = Download(ShortLimits());

        EXPECT_EQ(result.outcome, outcome) << result.detail;
        EXPECT_GT(result.bytes, 0u);
        ExpectNothingStored();
    }
}

// The same cut-off answers from a bare server, on every platform's client:
// neither a length nor a chunk that ends early is taken for a whole answer.
TEST_F(DatabaseDownload, AnswerCutOffMidwayIsRefusedWhateverItsFraming) {
    const std::string part(2000, 'A');
    const struct {
        const char* name;
        std::string answer;
        DownloadOutcome outcome;
        bool chunked;
    } cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n\r\n" + part, DownloadOutcome::Truncated, false},
        {"neither", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + part, DownloadOutcome::Unframed, false},
        {"cut inside a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000\r\n" + part,
         DownloadOutcome::Truncated, true},
        {"no last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7D0\r\n" + part + "\r\n",
         DownloadOutcome::Truncated, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.chunked)
            ORVO_SKIP_WHERE_HTTP_CLIENT(CutChunkedAnswer);
        const LoopbackServer server([&](const std::string&, int) { return c.answer; });
        ASSERT_TRUE(server.Listening());
        request_.serverHost = server.HostAndPort();

        const DownloadResult result = Download(ShortLimits());

        EXPECT_EQ(result.outcome, c.outcome) << result.detail;
        ExpectNothingStored();
    }
}

TEST_F(DatabaseDownload, OversizedAnswerWithoutLengthStoresNothing) {
    UpdateServerOptions options;
    options.fault = ServerFault::Oversized;
    options.oversizedBytes = 4u << 20;
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);

    const DownloadResult result = Download(ShortLimits());

    EXPECT_EQ(result.outcome, DownloadOutcome::TooLarge) << result.detail;
    EXPECT_LE(result.bytes, ShortLimits().maxBytes);
    ExpectNothingStored();
}

TEST_F(DatabaseDownload, AnnouncedLengthOverTheCapStoresNothing) {
    UpdateServerOptions options;
    options.records = 200;
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    HttpDownload client = ShortLimits();
    client.maxBytes = server.DatabaseTextFor(kSerial).size() - 1;

    const DownloadResult result = Download(client);

    EXPECT_EQ(result.outcome, DownloadOutcome::TooLarge) << result.detail;
    ExpectNothingStored();
}

TEST_F(DatabaseDownload, AnswerOfExactlyTheCapIsStored) {
    UpdateServerOptions options;
    options.records = 200;
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    HttpDownload client = ShortLimits();
    client.maxBytes = server.DatabaseTextFor(kSerial).size();

    EXPECT_TRUE(Download(client).Stored());
    EXPECT_EQ(ReadFile(DatabaseFile()), server.DatabaseTextFor(kSerial));
}

// Not a database, but a complete answer with status 200: stored like any
// other, and left to the conversion to judge.
TEST_F(DatabaseDownload, HtmlPageWithStatus200IsStoredAsServed) {
    UpdateServerOptions options;
    options.fault = ServerFault::HtmlPage;
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);

    EXPECT_TRUE(Download(HttpDownload{}).Stored());
    EXPECT_NE(ReadFile(DatabaseFile()).find("<html>"), std::string::npos);
}

TEST_F(DatabaseDownload, MissingFolderIsAFileErrorNotACrash) {
    SimUpdateServer server;
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    request_.folder = (folder_ / "no-such-folder").string() + "/";

    const DownloadResult result = Download(ShortLimits());

    EXPECT_EQ(result.outcome, DownloadOutcome::FileError) << result.detail;
    EXPECT_FALSE(fs::exists(folder_ / "no-such-folder"));
}

// The conversion must not be able to tell a downloaded text from the same
// text written to disk by other means.
TEST_F(DatabaseDownload, DownloadThenConversionGivesThePackedDatabaseOfTheSameText) {
    UpdateServerOptions options;
    options.records = 12000;  // more than two buffer files
    SimUpdateServer server(options);
    ORVO_START_SIMULATED_SERVER(server);
    PointAt(server);
    RecordedBoxes messages{events_};

    ASSERT_TRUE(Download(HttpDownload{}).Stored());
    const std::string base = request_.folder + "tesselDB";
    ASSERT_TRUE(PrepareDatabase(base, request_.folder, events_).Ready());

    const fs::path otherFolder = folder_ / "from-disk";
    fs::create_directories(otherFolder);
    const std::string otherFolderPath = otherFolder.string() + "/";
    CycleEventChannel fromDiskEvents;
    RecordedBoxes fromDiskMessages{fromDiskEvents};
    const std::string otherBase = otherFolderPath + "tesselDB";
    std::ofstream(otherBase + ".txt", std::ios::binary) << server.DatabaseTextFor(kSerial);
    ASSERT_TRUE(PrepareDatabase(otherBase, otherFolderPath, fromDiskEvents).Ready());

    const std::string packed = ReadFile(base + ".bin");
    EXPECT_EQ(packed.size(), 5u + 14u * 12000u);
    EXPECT_EQ(packed, ReadFile(otherBase + ".bin"));
    EXPECT_EQ(ReadFile(base + ".dfu"), ReadFile(otherBase + ".dfu"));
    EXPECT_TRUE(messages.Messages().empty());
    EXPECT_TRUE(fromDiskMessages.Messages().empty());
}
