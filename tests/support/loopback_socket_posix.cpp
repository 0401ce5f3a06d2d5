#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace loopback {

namespace {

bool Ready(Socket socket, int timeoutMs) {
    pollfd entry{static_cast<int>(socket), POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1;
}

}  // namespace

Socket Listen(int& port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0)
        return kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return listener;
}

Socket Accept(Socket listener, int timeoutMs) {
    if (!Ready(listener, timeoutMs))
        return kNoSocket;
    const int connection = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return connection < 0 ? kNoSocket : connection;
}

long Receive(Socket socket, char* buffer, std::size_t size, int timeoutMs) {
    if (!Ready(socket, timeoutMs))
        return -1;
    const ssize_t got = ::recv(static_cast<int>(socket), buffer, size, 0);
    return got < 0 ? 0 : static_cast<long>(got);
}

bool SendAll(Socket socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t now = ::send(static_cast<int>(socket), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (now <= 0)
            return false;
        sent += static_cast<std::size_t>(now);
    }
    return true;
}

void Close(Socket socket) { ::close(static_cast<int>(socket)); }

}  // namespace loopback
