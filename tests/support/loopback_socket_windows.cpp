#include "support/loopback_socket.h"

#include <winsock2.h>

namespace loopback {

namespace {

// Winsock is started once for the test program and never stopped: the
// program's end releases it.
bool Started() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool Ready(Socket socket, int timeoutMs) {
    WSAPOLLFD entry{static_cast<SOCKET>(socket), POLLRDNORM, 0};
    return ::WSAPoll(&entry, 1, timeoutMs) == 1;
}

}  // namespace

Socket Listen(int& port) {
    if (!Started())
        return kNoSocket;
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(listener);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return static_cast<Socket>(listener);
}

Socket Accept(Socket listener, int timeoutMs) {
    if (!Ready(listener, timeoutMs))
        return kNoSocket;
    const SOCKET connection = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return connection == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(connection);
}

long Receive(Socket socket, char* buffer, std::size_t size, int timeoutMs) {
    if (!Ready(socket, timeoutMs))
        return -1;
    const int got = ::recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
    return got < 0 ? 0 : got;
}

bool SendAll(Socket socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const int now =
            ::send(static_cast<SOCKET>(socket), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (now <= 0)
            return false;
        sent += static_cast<std::size_t>(now);
    }
    return true;
}

void Close(Socket socket) { ::closesocket(static_cast<SOCKET>(socket)); }

}  // namespace loopback
