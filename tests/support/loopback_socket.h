#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The few socket calls the tests' loopback server needs, one implementation
// per platform (loopback_socket_posix.cpp, loopback_socket_windows.cpp).
namespace loopback {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// A socket listening on 127.0.0.1 at a port the system picks (`port`), or
// kNoSocket.
Socket Listen(int& port);

// The next connection, or kNoSocket when none came within `timeoutMs`.
Socket Accept(Socket listener, int timeoutMs);

// Up to `size` bytes; 0 at the peer's end or on an error, -1 when nothing
// came within `timeoutMs`.
long Receive(Socket socket, char* buffer, std::size_t size, int timeoutMs);

// Sends all of `bytes`; false when the peer went away.
bool SendAll(Socket socket, const std::string& bytes);

void Close(Socket socket);

}  // namespace loopback
