#include "loopback_socket.h"

// What every platform shares; Close and the rest are per platform.

LoopbackSocket::~LoopbackSocket() { Close(); }

LoopbackSocket::LoopbackSocket(LoopbackSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = Invalid; }

LoopbackSocket& LoopbackSocket::operator=(LoopbackSocket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = Invalid;
    }
    return *this;
}

bool LoopbackSocket::Valid() const { return handle_ != Invalid; }
