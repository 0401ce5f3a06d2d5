#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "loopback_socket.h"

// A bare HTTP server on 127.0.0.1 for the download's tests, on every
// platform: each connection's request head goes to `answer`, whose bytes are
// sent as they are (status line, headers, body, cut off or not) before the
// connection is closed. Without `answer` connections are left in the
// system's listen queue and never read: a server that never answers.
class LoopbackServer {
public:
    // The request head up to its empty line, and this server's port.
    using Answer = std::function<std::string(const std::string& requestHead, int port)>;

    explicit LoopbackServer(Answer answer = {}) : answer_(std::move(answer)) {
        std::string error;
        listener_ = LoopbackSocket::Listen(0, error);
        port_ = listener_.Valid() ? listener_.LocalPort() : 0;
        if (listener_.Valid() && answer_)
            thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackServer() {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Listening() const { return listener_.Valid(); }
    int Port() const { return port_; }
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

    // The first request line's target ("/path?query") of `head`.
    static std::string Target(const std::string& head) {
        const auto start = head.find(' ');
        const auto end = start == std::string::npos ? start : head.find(' ', start + 1);
        return end == std::string::npos ? std::string() : head.substr(start + 1, end - start - 1);
    }

private:
    void Serve() {
        // Short waits so that the destructor is never held for long.
        while (!stopping_) {
            const LoopbackSocket connection = listener_.Accept(kWait);
            if (!connection.Valid())
                continue;
            const std::string head = ReadHead(connection);
            if (head.empty())
                continue;
            const std::string answer = answer_(head, port_);
            connection.SendAll(answer.data(), answer.size());
        }
    }

    std::string ReadHead(const LoopbackSocket& connection) const {
        std::string head;
        char buffer[1024];
        while (!stopping_ && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            const LoopbackSocket::Received got = connection.Receive(buffer, sizeof buffer, kWait);
            if (got.kind == LoopbackSocket::Received::Kind::Closed || got.kind == LoopbackSocket::Received::Kind::Failed)
                return {};
            if (got.kind == LoopbackSocket::Received::Kind::Data)
                head.append(buffer, got.bytes);
        }
        return head;
    }

    static constexpr std::chrono::milliseconds kWait{50};

    Answer answer_;
    int port_ = 0;
    LoopbackSocket listener_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
