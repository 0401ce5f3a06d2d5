#include <gtest/gtest.h>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "database/download_request.h"
#include "update_server.h"

using namespace std::chrono_literals;

namespace {

std::string SignedTarget(const std::string& serial) {
    return std::string(DownloadRequest::Path) + "?z=" + DownloadSignature(serial) + "&s=" + EncodeQueryValue(serial);
}

httplib::Result Fetch(const SimUpdateServer& server, const std::string& target) {
    httplib::Client client("127.0.0.1", server.Port());
    client.set_read_timeout(5s);
    return client.Get(target);
}

// Sends `request` as it is and reads the answer to the connection's end.
std::string RawExchange(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string answer;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return answer;
}

}  // namespace

TEST(SimUpdateServer, AnswersTheSerialsDatabaseToASignedRequest) {
    UpdateServerOptions options;
    options.records = 250;
    SimUpdateServer server(options);
    ASSERT_TRUE(server.Start());
    EXPECT_GT(server.Port(), 0);
    EXPECT_EQ(server.HostAndPort(), "127.0.0.1:" + std::to_string(server.Port()));

    const auto first = Fetch(server, SignedTarget("1234567"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    EXPECT_EQ(first->body, server.DatabaseTextFor("1234567"));
    EXPECT_EQ(first->body.size(), 250u * 16u);  // 13 characters, NUL, CR LF

    // Deterministic per serial, different between serials.
    EXPECT_EQ(Fetch(server, SignedTarget("1234567"))->body, first->body);
    EXPECT_NE(Fetch(server, SignedTarget("7654321"))->body, first->body);
    EXPECT_EQ(server.RequestCount(), 3u);
}

TEST(SimUpdateServer, RejectsBadSignaturesAndMalformedQueries) {
    SimUpdateServer server;
    ASSERT_TRUE(server.Start());
    const std::string path = DownloadRequest::Path;
    const std::string z = DownloadSignature("1234567");

    EXPECT_EQ(Fetch(server, path + "?z=" + DownloadSignature("1234568") + "&s=1234567")->status, 403);
    EXPECT_EQ(Fetch(server, path + "?z=" + std::string(32, '0') + "&s=1234567")->status, 403);
    // Lower-case hexadecimal is not the signature.
    std::string lower = z;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Fetch(server, path + "?z=" + lower + "&s=1234567")->status, 403);

    EXPECT_EQ(Fetch(server, path + "?s=1234567&z=" + z)->status, 400);           // wrong order
    EXPECT_EQ(Fetch(server, path + "?z=" + z + "&s=1234567&c=1")->status, 400);  // extra key
    EXPECT_EQ(Fetch(server, path + "?z=" + z)->status, 400);                     // no serial
    EXPECT_EQ(Fetch(server, path)->status, 400);
    EXPECT_EQ(Fetch(server, "/other.aspx?z=" + z + "&s=1234567")->status, 404);
    // Only GET is answered.
    httplib::Client client("127.0.0.1", server.Port());
    EXPECT_EQ(client.Post(SignedTarget("1234567"), "", "text/plain")->status, 405);

    // The serial as the server decodes it is what it checks.
    EXPECT_EQ(Fetch(server, SignedTarget("a&b c"))->status, 200);
}

TEST(SimUpdateServer, ServesOnlyLoopbackAndPicksFreePorts) {
    SimUpdateServer a;
    SimUpdateServer b;
    ASSERT_TRUE(a.Start());
    ASSERT_TRUE(b.Start());
    EXPECT_NE(a.Port(), b.Port());

    // The port is taken: a second server cannot bind it.
    SimUpdateServer c;
    EXPECT_FALSE(c.Start(a.Port()));
}

TEST(SimUpdateServer, FaultsAnswerAsAsked) {
    {
        UpdateServerOptions options;
        options.fault = ServerFault::ErrorStatus;
        options.errorStatus = 503;
        SimUpdateServer server(options);
        ASSERT_TRUE(server.Start());
        const auto result = Fetch(server, SignedTarget("1234567"));
        EXPECT_EQ(result->status, 503);
        EXPECT_NE(result->body.find("<html>"), std::string::npos);
    }
    {
        UpdateServerOptions options;
        options.fault = ServerFault::HtmlPage;
        SimUpdateServer server(options);
        ASSERT_TRUE(server.Start());
        const auto result = Fetch(server, SignedTarget("1234567"));
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "text/html");
    }
    {
        UpdateServerOptions options;
        ASSERT_TRUE(ParseServerFault("junk", options));
        SimUpdateServer server(options);
        ASSERT_TRUE(server.Start());
        const auto result = Fetch(server, SignedTarget("1234567"));
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->body, JunkAnswer());
        // Random bytes, not a text: NULs and bytes of every value.
        EXPECT_NE(result->body.find('\0'), std::string::npos);
        EXPECT_NE(result->body.find('\xFF'), std::string::npos);
    }
    {
        UpdateServerOptions options;
        options.fault = ServerFault::Oversized;
        options.oversizedBytes = 300000;
        SimUpdateServer server(options);
        ASSERT_TRUE(server.Start());
        const auto result = Fetch(server, SignedTarget("1234567"));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->body.size(), 300000u);
        EXPECT_FALSE(result->has_header("Content-Length"));
        EXPECT_EQ(result->get_header_value("Transfer-Encoding"), "chunked");
    }
    {
        UpdateServerOptions options;
        options.fault = ServerFault::NoLength;
        SimUpdateServer server(options);
        ASSERT_TRUE(server.Start());
        const auto result = Fetch(server, SignedTarget("1234567"));
        ASSERT_TRUE(result);  // the end of the connection is the end of the body
        const std::string whole = server.DatabaseTextFor("1234567");
        EXPECT_EQ(result->body, whole.substr(0, whole.size() / 2));
        EXPECT_FALSE(result->has_header("Content-Length"));
        EXPECT_FALSE(result->has_header("Transfer-Encoding"));
    }
    {
        UpdateServerOptions options;
        options.fault = ServerFault::Truncated;
        SimUpdateServer server(options);
        ASSERT_TRUE(server.Start());
        EXPECT_FALSE(Fetch(server, SignedTarget("1234567")));  // the client sees a broken answer
    }
}

// Requests no client of ours sends are refused before they reach the
// database, and the server goes on serving.
TEST(SimUpdateServer, RefusesMalformedAndOversizedRequests) {
    SimUpdateServer server;
    ASSERT_TRUE(server.Start());
    const std::string cases[] = {
        "NONSENSE\r\n\r\n",
        "GET OrvoDownload.aspx HTTP/1.1\r\n\r\n",
        "GET / HTTP/9.9\r\n\r\n",
        // A head that never ends: cut off at the limit, not read for ever.
        "GET / HTTP/1.1\r\nX-Long: " + std::string(64 * 1024, 'a'),
    };
    for (const std::string& request : cases) {
        const std::string answer = RawExchange(server.Port(), request);
        EXPECT_EQ(answer.rfind("HTTP/1.1 400 ", 0), 0u) << request.substr(0, 40) << "\n" << answer;
    }
    EXPECT_EQ(server.RequestCount(), 0u);
    const std::string good = RawExchange(server.Port(), "GET " + SignedTarget("1234567") + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(good.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << good.substr(0, 200);
    EXPECT_EQ(good.substr(good.find("\r\n\r\n") + 4), server.DatabaseTextFor("1234567"));
}

// A stalled answer must not keep the server's threads once it stops.
TEST(SimUpdateServer, StopEndsAStalledAnswerAtOnce) {
    UpdateServerOptions options;
    options.fault = ServerFault::Stall;
    options.stallHold = 60s;
    SimUpdateServer server(options);
    ASSERT_TRUE(server.Start());

    std::atomic<bool> answered{false};
    std::thread client([&] {
        Fetch(server, SignedTarget("1234567"));
        answered = true;
    });
    while (server.RequestCount() == 0)
        std::this_thread::sleep_for(5ms);
    // An answer that is not held reaches the client within moments: give it
    // a generous while to arrive before calling the answer held.
    const auto holdSeen = std::chrono::steady_clock::now() + 500ms;
    while (!answered && std::chrono::steady_clock::now() < holdSeen)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(answered);  // held

    const auto start = std::chrono::steady_clock::now();
    server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    client.join();
}

TEST(SimUpdateServer, ReportsEveryAnsweredRequest) {
    SimUpdateServer server;
    std::mutex mutex;
    std::vector<ServedRequest> seen;
    server.SetRequestObserver([&](const ServedRequest& request) {
        std::lock_guard lock(mutex);
        seen.push_back(request);
    });
    ASSERT_TRUE(server.Start());
    Fetch(server, SignedTarget("1234567"));
    Fetch(server, "/nothing");
    server.Stop();

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].target, SignedTarget("1234567"));
    EXPECT_EQ(seen[0].status, 200);
    EXPECT_EQ(seen[0].bytes, server.DatabaseTextFor("1234567").size());
    EXPECT_EQ(seen[1].status, 404);
}

TEST(SimUpdateServer, ParsesFaultNames) {
    UpdateServerOptions options;
    EXPECT_TRUE(ParseServerFault("status=404", options));
    EXPECT_EQ(options.fault, ServerFault::ErrorStatus);
    EXPECT_EQ(options.errorStatus, 404);
    for (const char* bad : {"", "status=", "status=200", "status=600", "status=4x4", "slow"})
        EXPECT_FALSE(ParseServerFault(bad, options)) << bad;
    // The help names every fault that is accepted, each a different one.
    std::stringstream names(ServerFaultNames());
    std::set<ServerFault> faults;
    for (std::string name; std::getline(names, name, '|');) {
        const std::string given = name == "status=CODE" ? "status=503" : name;
        EXPECT_TRUE(ParseServerFault(given, options)) << name;
        faults.insert(options.fault);
        EXPECT_NE(ServerFaultHelp(0).find(name + " "), std::string::npos) << name;
    }
    EXPECT_EQ(faults.size(), 9u);
}
