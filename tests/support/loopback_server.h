#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "support/loopback_socket.h"

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
        listener_ = loopback::Listen(port_);
        if (listener_ != loopback::kNoSocket && answer_)
            thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackServer() {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listener_ != loopback::kNoSocket)
            loopback::Close(listener_);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Listening() const { return listener_ != loopback::kNoSocket; }
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
            const loopback::Socket connection = loopback::Accept(listener_, 50);
            if (connection == loopback::kNoSocket)
                continue;
            const std::string head = ReadHead(connection);
            if (!head.empty())
                loopback::SendAll(connection, answer_(head, port_));
            loopback::Close(connection);
        }
    }

    std::string ReadHead(loopback::Socket connection) const {
        std::string head;
        char buffer[1024];
        while (!stopping_ && head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            const long got = loopback::Receive(connection, buffer, sizeof buffer, 50);
            if (got == 0)
                return {};
            if (got > 0)
                head.append(buffer, static_cast<std::size_t>(got));
        }
        return head;
    }

    Answer answer_;
    int port_ = 0;
    loopback::Socket listener_ = loopback::kNoSocket;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
