#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "http_exchange.h"
#include "loopback_socket.h"

// Where a handler writes its answer: a whole one, or a head and then the
// body in pieces. Every write is false once the client is gone or the
// server stops; the handler then gives up.
class HttpAnswer {
public:
    explicit HttpAnswer(const LoopbackSocket& socket) : socket_(socket) {}

    // The whole answer, its length announced.
    bool Send(int status, const std::string& contentType, std::string_view body);
    // The head of an answer whose body follows through Write; `length` is
    // what a HttpFraming::Length head announces.
    bool Begin(int status, const std::string& contentType, HttpFraming framing, std::size_t length = 0);
    // A piece of the body (a chunk of a chunked one).
    bool Write(std::string_view piece);
    // The end of a chunked body; nothing for the other framings.
    bool Finish();
    bool Begun() const { return begun_; }

private:
    const LoopbackSocket& socket_;
    HttpFraming framing_ = HttpFraming::Length;
    bool begun_ = false;
};

using HttpHandler = std::function<void(const HttpRequest&, HttpAnswer&)>;

// A small HTTP/1.1 server on 127.0.0.1 for GET requests: one thread accepts,
// one thread serves each connection, one request per connection (every
// answer closes it). Malformed requests get 400, other methods 405, without
// reaching the handler.
class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(HttpHandler handler);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // How long a client may take to send its request, and how long one send
    // may stall before the connection is given up.
    void SetTimeLimits(std::chrono::milliseconds request, std::chrono::milliseconds send);

    // Listens on 127.0.0.1:`port` (0: any free port) and serves; false with
    // `error` set when the port cannot be bound.
    bool Start(int port, std::string& error);
    // Stops accepting, cuts every open connection (a handler's writes fail
    // from then on) and waits for every thread. The handler must end its own
    // waits.
    void Stop();
    int Port() const { return port_; }

private:
    struct Connection {
        std::shared_ptr<LoopbackSocket> socket;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };

    void AcceptLoop();
    void Serve(const LoopbackSocket& socket);
    bool ReadHead(const LoopbackSocket& socket, std::string& head);
    // Joins the connections that ended; all of them when `all`.
    void JoinConnections(bool all);

    HttpHandler handler_;
    std::chrono::milliseconds requestLimit_{2000};
    std::chrono::milliseconds sendLimit_{5000};
    LoopbackSocket listener_;
    std::thread acceptor_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> port_{0};
    std::mutex mutex_;
    std::vector<Connection> connections_;
};
