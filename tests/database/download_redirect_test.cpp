#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "database/http_download.h"
#include "support/http_client_gaps.h"
#include "support/loopback_server.h"
#include "support/test_platform.h"
#include "update_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Answers every GET with a redirect to `location`; "{self}" in it stands for
// this server's own address.
class Redirector {
public:
    explicit Redirector(std::string location)
        : server_([location = std::move(location)](const std::string& head, int port) {
              std::string target = location;
              if (const auto at = target.find("{self}"); at != std::string::npos)
                  target.replace(at, 6, "127.0.0.1:" + std::to_string(port) + LoopbackServer::Target(head));
              return "HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
          }) {}
    std::string Url() const { return "http://" + server_.HostAndPort() + "/OrvoDownload.aspx?z=1&s=2"; }

private:
    LoopbackServer server_;
};

// Answers every GET with `body`, framed by its length.
std::string WholeAnswer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

class DownloadRedirects : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("orvo_redirect_" + std::to_string(CurrentProcessId()) + "_" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::ofstream(Destination()) << "stale";
        client_.connectTimeout = 2000ms;
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string Destination() const { return (folder_ / "tesselDB.txt").string(); }
    bool FolderEmpty() const { return fs::is_empty(folder_); }

    fs::path folder_;
    HttpDownload client_;
};

}  // namespace

TEST_F(DownloadRedirects, FollowsAPlainHttpRedirect) {
    const std::string database = SimUpdateServer().DatabaseTextFor("1234567");
    LoopbackServer server([&](const std::string&, int) { return WholeAnswer(database); });
    const std::string target =
        "http://" + server.HostAndPort() + "/OrvoDownload.aspx?z=E8D4068713DE76FA85BD06F6AAB33CC5&s=1234567";
    Redirector redirector(target);

    const DownloadResult result = client_.Fetch(redirector.Url(), Destination());

    EXPECT_TRUE(result.Stored()) << result.detail;
    std::ifstream in(Destination(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), database);
    ORVO_SKIP_WHERE_HTTP_CLIENT(RedirectedUrl);
    EXPECT_EQ(result.lastUrl, target) << "the log names the address that answered";
}

TEST_F(DownloadRedirects, EndlessRedirectsStoreNothing) {
    Redirector loop("http://{self}");
    const DownloadResult result = client_.Fetch(loop.Url(), Destination());
    EXPECT_EQ(result.outcome, DownloadOutcome::TransferFailed) << result.detail;
    EXPECT_TRUE(FolderEmpty());
}

// A redirect must never reach a local file or leave plain http.
TEST_F(DownloadRedirects, OtherSchemesAreRefused) {
    const fs::path secret = fs::temp_directory_path() / ("orvo_redirect_secret_" + std::to_string(CurrentProcessId()));
    std::ofstream(secret) << "not for the device";
    for (const std::string& location : {"file://" + secret.string(), std::string("https://127.0.0.1:1/x"),
                                       std::string("ftp://127.0.0.1:1/x")}) {
        SCOPED_TRACE(location);
        Redirector redirector(location);
        const DownloadResult result = client_.Fetch(redirector.Url(), Destination());
        EXPECT_FALSE(result.Stored()) << result.detail;
        EXPECT_TRUE(FolderEmpty());
    }
    fs::remove(secret);
}

