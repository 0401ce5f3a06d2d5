#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// A TCP socket on 127.0.0.1, as little as the simulated server needs: listen,
// accept, receive with a time limit, send, and a shut-down that another
// thread may call to wake a blocked receive or send. One implementation per
// platform (loopback_socket_posix.cpp, loopback_socket_windows.cpp).
class LoopbackSocket {
public:
    LoopbackSocket() = default;
    ~LoopbackSocket();
    LoopbackSocket(LoopbackSocket&& other) noexcept;
    LoopbackSocket& operator=(LoopbackSocket&& other) noexcept;
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    // A listening socket on 127.0.0.1:`port` (0: any free port). The port is
    // this socket's alone: a second listener on it fails. Invalid, with
    // `error` set, when it cannot be bound.
    static LoopbackSocket Listen(int port, std::string& error);

    bool Valid() const;
    int LocalPort() const;

    // Waits up to `wait` for a connection; an invalid socket when none came.
    LoopbackSocket Accept(std::chrono::milliseconds wait) const;

    // What a receive found.
    struct Received {
        enum class Kind { Data, Closed, TimedOut, Failed } kind;
        std::size_t bytes = 0;
    };
    // Up to `size` bytes, waiting at most `wait` for the first of them.
    Received Receive(char* buffer, std::size_t size, std::chrono::milliseconds wait) const;
    // Sends everything; false when the peer is gone, the socket was shut
    // down, or the send stalled longer than the socket's send time limit.
    bool SendAll(const char* data, std::size_t size) const;
    void SetSendTimeLimit(std::chrono::milliseconds limit) const;

    // Ends sending: the peer sees the end of the answer.
    void ShutdownSending() const;
    // Ends both directions; a receive or send blocked on another thread
    // returns. The socket stays open until it is destroyed.
    void ShutdownBoth() const;

private:
    explicit LoopbackSocket(std::intptr_t handle) : handle_(handle) {}
    void Close();

    static constexpr std::intptr_t Invalid = -1;
    std::intptr_t handle_ = Invalid;
};
