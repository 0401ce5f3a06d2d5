#include "loopback_http_server.h"

namespace {

using namespace std::chrono_literals;

// A request's head beyond this is refused: nothing the updater sends comes near.
constexpr std::size_t MaxHeadBytes = 16 * 1024;
// How often the accepting thread looks whether the server stops.
constexpr auto AcceptPoll = 50ms;
// After an answer, how long the client gets to close its end first: closing
// a socket with unread bytes would reset the connection and could cost the
// client the answer's end.
constexpr auto CloseGrace = 500ms;

constexpr const char* HtmlType = "text/html";

std::string ShortPage(int status) {
    const std::string title = std::to_string(status) + " " + ReasonPhrase(status);
    return "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1></body></html>\n";
}

}  // namespace

bool HttpAnswer::Send(int status, const std::string& contentType, std::string_view body) {
    return Begin(status, contentType, HttpFraming::Length, body.size()) && Write(body);
}

bool HttpAnswer::Begin(int status, const std::string& contentType, HttpFraming framing, std::size_t length) {
    if (begun_)
        return false;
    begun_ = true;
    framing_ = framing;
    const std::string head = ResponseHead(status, contentType, framing, length);
    return socket_.SendAll(head.data(), head.size());
}

bool HttpAnswer::Write(std::string_view piece) {
    if (framing_ != HttpFraming::Chunked)
        return socket_.SendAll(piece.data(), piece.size());
    const std::string chunk = Chunk(piece);
    return socket_.SendAll(chunk.data(), chunk.size());
}

bool HttpAnswer::Finish() {
    return framing_ != HttpFraming::Chunked || socket_.SendAll(LastChunk.data(), LastChunk.size());
}

LoopbackHttpServer::LoopbackHttpServer(HttpHandler handler) : handler_(std::move(handler)) {}

LoopbackHttpServer::~LoopbackHttpServer() { Stop(); }

void LoopbackHttpServer::SetTimeLimits(std::chrono::milliseconds request, std::chrono::milliseconds send) {
    requestLimit_ = request;
    sendLimit_ = send;
}

bool LoopbackHttpServer::Start(int port, std::string& error) {
    if (acceptor_.joinable())
        return false;
    listener_ = LoopbackSocket::Listen(port, error);
    if (!listener_.Valid())
        return false;
    port_ = listener_.LocalPort();
    stopping_ = false;
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void LoopbackHttpServer::Stop() {
    if (!acceptor_.joinable())
        return;
    stopping_ = true;
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (const Connection& connection : connections_)
            connection.socket->ShutdownBoth();
    }
    JoinConnections(true);
    listener_ = LoopbackSocket();
}

void LoopbackHttpServer::AcceptLoop() {
    while (!stopping_) {
        LoopbackSocket accepted = listener_.Accept(AcceptPoll);
        JoinConnections(false);
        if (!accepted.Valid())
            continue;
        auto socket = std::make_shared<LoopbackSocket>(std::move(accepted));
        auto ended = std::make_shared<std::atomic<bool>>(false);
        std::lock_guard lock(mutex_);
        connections_.push_back(Connection{socket, std::thread([this, socket, ended] {
                                              Serve(*socket);
                                              *ended = true;
                                          }),
                                          ended});
    }
}

void LoopbackHttpServer::JoinConnections(bool all) {
    std::vector<Connection> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (all || *it->ended) {
                finished.push_back(std::move(*it));
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Connection& connection : finished)
        connection.thread.join();
}

bool LoopbackHttpServer::ReadHead(const LoopbackSocket& socket, std::string& head) {
    const auto deadline = std::chrono::steady_clock::now() + requestLimit_;
    char buffer[4096];
    while (!stopping_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms)
            return false;
        const LoopbackSocket::Received got = socket.Receive(buffer, sizeof buffer, std::min(left, 100ms));
        if (got.kind == LoopbackSocket::Received::Kind::TimedOut)
            continue;
        if (got.kind != LoopbackSocket::Received::Kind::Data)
            return false;
        head.append(buffer, got.bytes);
        if (const auto end = head.find("\r\n\r\n"); end != std::string::npos) {
            head.resize(end);
            return true;
        }
        if (head.size() > MaxHeadBytes)
            return false;
    }
    return false;
}

void LoopbackHttpServer::Serve(const LoopbackSocket& socket) {
    socket.SetSendTimeLimit(sendLimit_);
    std::string head;
    if (!ReadHead(socket, head)) {
        // A client that sent nothing usable in time, or too much, is told so.
        if (!head.empty() && !stopping_) {
            HttpAnswer answer(socket);
            answer.Send(400, HtmlType, ShortPage(400));
        }
    } else if (const std::optional<HttpRequest> request = ParseRequestHead(head); !request) {
        HttpAnswer answer(socket);
        answer.Send(400, HtmlType, ShortPage(400));
    } else if (request->method != "GET") {
        HttpAnswer answer(socket);
        answer.Send(405, HtmlType, ShortPage(405));
    } else {
        HttpAnswer answer(socket);
        handler_(*request, answer);
        if (!answer.Begun())
            answer.Send(500, HtmlType, ShortPage(500));
    }
    socket.ShutdownSending();
    // The client reads the answer and closes; what else it sends is dropped.
    const auto deadline = std::chrono::steady_clock::now() + CloseGrace;
    char buffer[1024];
    while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
        const auto got = socket.Receive(buffer, sizeof buffer, 50ms);
        if (got.kind == LoopbackSocket::Received::Kind::Closed || got.kind == LoopbackSocket::Received::Kind::Failed)
            break;
    }
}
