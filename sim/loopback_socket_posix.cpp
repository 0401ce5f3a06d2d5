#include "loopback_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

bool WaitReadable(int fd, std::chrono::milliseconds wait) {
    pollfd entry{fd, POLLIN, 0};
    int result;
    do {
        result = ::poll(&entry, 1, static_cast<int>(wait.count()));
    } while (result < 0 && errno == EINTR);
    return result > 0;
}

}  // namespace

void LoopbackSocket::Close() {
    if (handle_ != Invalid)
        ::close(Fd(handle_));
    handle_ = Invalid;
}

LoopbackSocket LoopbackSocket::Listen(int port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return {};
    }
    LoopbackSocket socket(fd);
    // A port left in TIME_WAIT by an earlier run may be bound again; a port
    // another listener holds may not (no SO_REUSEPORT).
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
        error = std::strerror(errno);
        return {};
    }
    return socket;
}

int LoopbackSocket::LocalPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (!Valid() || ::getsockname(Fd(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

LoopbackSocket LoopbackSocket::Accept(std::chrono::milliseconds wait) const {
    if (!Valid() || !WaitReadable(Fd(handle_), wait))
        return {};
    const int fd = ::accept4(Fd(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? LoopbackSocket() : LoopbackSocket(fd);
}

LoopbackSocket::Received LoopbackSocket::Receive(char* buffer, std::size_t size, std::chrono::milliseconds wait) const {
    if (!WaitReadable(Fd(handle_), wait))
        return {Received::Kind::TimedOut};
    ssize_t got;
    do {
        got = ::recv(Fd(handle_), buffer, size, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return {Received::Kind::Failed};
    if (got == 0)
        return {Received::Kind::Closed};
    return {Received::Kind::Data, static_cast<std::size_t>(got)};
}

bool LoopbackSocket::SendAll(const char* data, std::size_t size) const {
    while (size > 0) {
        // A client that went away must not kill the server with SIGPIPE.
        const ssize_t sent = ::send(Fd(handle_), data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void LoopbackSocket::SetSendTimeLimit(std::chrono::milliseconds limit) const {
    timeval time{};
    time.tv_sec = static_cast<time_t>(limit.count() / 1000);
    time.tv_usec = static_cast<suseconds_t>((limit.count() % 1000) * 1000);
    ::setsockopt(Fd(handle_), SOL_SOCKET, SO_SNDTIMEO, &time, sizeof time);
}

void LoopbackSocket::ShutdownSending() const { ::shutdown(Fd(handle_), SHUT_WR); }

void LoopbackSocket::ShutdownBoth() const { ::shutdown(Fd(handle_), SHUT_RDWR); }
