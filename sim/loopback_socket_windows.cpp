#include "loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>

namespace {

SOCKET Sock(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// Winsock is started once for the process and left running to its end.
bool StartWinsock(std::string& error) {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data;
        result = WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (result != 0)
        error = "Winsock could not start (error " + std::to_string(result) + ")";
    return result == 0;
}

std::string LastSocketError() { return "Winsock error " + std::to_string(WSAGetLastError()); }

bool WaitReadable(SOCKET socket, std::chrono::milliseconds wait) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval time{};
    time.tv_sec = static_cast<long>(wait.count() / 1000);
    time.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
    return ::select(0, &readable, nullptr, nullptr, &time) > 0;
}

}  // namespace

void LoopbackSocket::Close() {
    if (handle_ != Invalid)
        ::closesocket(Sock(handle_));
    handle_ = Invalid;
}

LoopbackSocket LoopbackSocket::Listen(int port, std::string& error) {
    if (!StartWinsock(error))
        return {};
    const SOCKET socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        error = LastSocketError();
        return {};
    }
    LoopbackSocket listener(static_cast<std::intptr_t>(socket));
    // Without it Windows lets another program bind the same port and take
    // some of the connections.
    const BOOL yes = TRUE;
    ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket, 64) != 0) {
        error = LastSocketError();
        return {};
    }
    return listener;
}

int LoopbackSocket::LocalPort() const {
    sockaddr_in address{};
    int length = sizeof address;
    if (!Valid() || ::getsockname(Sock(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

LoopbackSocket LoopbackSocket::Accept(std::chrono::milliseconds wait) const {
    if (!Valid() || !WaitReadable(Sock(handle_), wait))
        return {};
    const SOCKET socket = ::accept(Sock(handle_), nullptr, nullptr);
    return socket == INVALID_SOCKET ? LoopbackSocket() : LoopbackSocket(static_cast<std::intptr_t>(socket));
}

LoopbackSocket::Received LoopbackSocket::Receive(char* buffer, std::size_t size, std::chrono::milliseconds wait) const {
    if (!WaitReadable(Sock(handle_), wait))
        return {Received::Kind::TimedOut};
    const int got = ::recv(Sock(handle_), buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
    if (got == SOCKET_ERROR)
        return {Received::Kind::Failed};
    if (got == 0)
        return {Received::Kind::Closed};
    return {Received::Kind::Data, static_cast<std::size_t>(got)};
}

bool LoopbackSocket::SendAll(const char* data, std::size_t size) const {
    while (size > 0) {
        const int sent = ::send(Sock(handle_), data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
        if (sent == SOCKET_ERROR || sent == 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void LoopbackSocket::SetSendTimeLimit(std::chrono::milliseconds limit) const {
    const DWORD milliseconds = static_cast<DWORD>(limit.count());
    ::setsockopt(Sock(handle_), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&milliseconds),
                 sizeof milliseconds);
}

void LoopbackSocket::ShutdownSending() const { ::shutdown(Sock(handle_), SD_SEND); }

void LoopbackSocket::ShutdownBoth() const { ::shutdown(Sock(handle_), SD_BOTH); }
