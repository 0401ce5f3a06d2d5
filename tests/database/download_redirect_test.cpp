#include <gtest/gtest.h>

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

#include "database/http_download.h"
#include "update_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Answers every GET with a redirect to `location`; "{self}" in it stands for
// this server's own address.
class Redirector {
public:
    explicit Redirector(std::string location) : location_(std::move(location)) {
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            std::string target = location_;
            if (const auto at = target.find("{self}"); at != std::string::npos)
                target.replace(at, 6, "127.0.0.1:" + std::to_string(port_) + request.path);
            response.set_redirect(target);
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(1ms);
    }
    ~Redirector() {
        server_.stop();
        thread_.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/OrvoDownload.aspx?z=1&s=2"; }

private:
    std::string location_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

class DownloadRedirects : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("orvo_redirect_" + std::to_string(::getpid()) + "_" +
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
    SimUpdateServer server;
    ASSERT_TRUE(server.Start());
    const std::string target =
        "http://" + server.HostAndPort() + "/OrvoDownload.aspx?z=E8D4068713DE76FA85BD06F6AAB33CC5&s=1234567";
    Redirector redirector(target);

    const DownloadResult result = client_.Fetch(redirector.Url(), Destination());

    EXPECT_TRUE(result.Stored()) << result.detail;
    EXPECT_EQ(result.lastUrl, target) << "the log names the address that answered";
    std::ifstream in(Destination(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), server.DatabaseTextFor("1234567"));
}

TEST_F(DownloadRedirects, EndlessRedirectsStoreNothing) {
    Redirector loop("http://{self}");
    const DownloadResult result = client_.Fetch(loop.Url(), Destination());
    EXPECT_EQ(result.outcome, DownloadOutcome::TransferFailed) << result.detail;
    EXPECT_TRUE(FolderEmpty());
}

// A redirect must never reach a local file or leave plain http.
TEST_F(DownloadRedirects, OtherSchemesAreRefused) {
    const fs::path secret = fs::temp_directory_path() / ("orvo_redirect_secret_" + std::to_string(::getpid()));
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

