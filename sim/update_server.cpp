#include "update_server.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>

#include "database/download_request.h"
#include "database_generator.h"
#include "loopback_http_server.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kTextType = "text/plain";
constexpr const char* kHtmlType = "text/html";

std::string HtmlPage(int status, const std::string& title) {
    return "<!DOCTYPE html>\n<html><head><title>" + std::to_string(status) + " " + title +
           "</title></head>\n<body><h1>" + title +
           "</h1><p>The request could not be served.</p></body></html>\n";
}

// The query must be exactly z=…&s=…, in that order: anything else is a
// client fault the tests want to see.
bool QueryHasExactlyZThenS(const HttpRequest& request) {
    const auto query = request.target.find('?');
    if (query == std::string::npos || request.target.compare(query + 1, 2, "z=") != 0)
        return false;
    return request.query.size() == 2 && request.Count("z") == 1 && request.Count("s") == 1;
}

}  // namespace

std::string JunkAnswer(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string junk(size, '\0');
    for (char& c : junk)
        c = static_cast<char>(byte(random));
    return junk;
}

struct SimUpdateServer::Impl {
    UpdateServerOptions options;
    DatabaseTextProvider provider;
    std::function<void(const ServedRequest&)> observer;
    std::atomic<int> port{0};
    std::atomic<std::size_t> requestCount{0};

    // Ends held and trickling answers when the server stops.
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;

    // Last: its threads end before what they use goes.
    LoopbackHttpServer server{[this](const HttpRequest& request, HttpAnswer& answer) { Route(request, answer); }};
    bool running = false;

    void Report(const HttpRequest& request, int status, std::size_t bytes, std::string note) {
        ++requestCount;
        if (observer)
            observer(ServedRequest{request.target, status, bytes, std::move(note)});
    }

    // Waits until the server stops or `time` is over; true when it stops.
    bool WaitForStop(std::chrono::milliseconds time) {
        std::unique_lock lock(stopMutex);
        return stopSignal.wait_for(lock, time, [this] { return stopping; });
    }

    void Reply(const HttpRequest& request, HttpAnswer& answer, int status, const char* type, const std::string& body,
               std::string note) {
        Report(request, status, body.size(), std::move(note));
        answer.Send(status, type, body);
    }

    void Route(const HttpRequest& request, HttpAnswer& answer) {
        if (request.path == DownloadRequest::Path)
            Answer(request, answer);
        else
            Reply(request, answer, 404, kHtmlType, HtmlPage(404, "Not Found"), "unknown path");
    }

    void Answer(const HttpRequest& request, HttpAnswer& answer) {
        if (!QueryHasExactlyZThenS(request)) {
            Reply(request, answer, 400, kHtmlType, HtmlPage(400, "Bad Request"), "query is not z=...&s=...");
            return;
        }
        const std::string serial = request.Value("s");
        if (request.Value("z") != DownloadSignature(serial)) {
            Reply(request, answer, 403, kHtmlType, HtmlPage(403, "Forbidden"), "signature does not match the serial");
            return;
        }
        switch (options.fault) {
        case ServerFault::None:
            Reply(request, answer, 200, kTextType, provider(serial, options.records),
                  "database for serial '" + serial + "'");
            return;
        case ServerFault::ErrorStatus:
            Reply(request, answer, options.errorStatus, kHtmlType, HtmlPage(options.errorStatus, "Server Error"),
                  "fault: error status");
            return;
        case ServerFault::HtmlPage:
            Reply(request, answer, 200, kHtmlType, HtmlPage(200, "Maintenance"), "fault: HTML page instead of a database");
            return;
        case ServerFault::Junk:
            Reply(request, answer, 200, kTextType, JunkAnswer(), "fault: random bytes instead of a database");
            return;
        case ServerFault::Stall:
            AnswerPartly(request, answer, serial, true);
            return;
        case ServerFault::Truncated:
            AnswerPartly(request, answer, serial, false);
            return;
        case ServerFault::NoLength:
            AnswerWithoutLength(request, answer, serial);
            return;
        case ServerFault::Oversized:
            AnswerOversized(request, answer, serial);
            return;
        case ServerFault::Trickle:
            AnswerTrickling(request, answer, serial);
            return;
        }
    }

    // Sends the whole database with its length announced, a few bytes at a
    // time with a pause after each, until it is out or the server stops.
    void AnswerTrickling(const HttpRequest& request, HttpAnswer& answer, const std::string& serial) {
        const std::string body = provider(serial, options.records);
        Report(request, 200, body.size(), "fault: trickle");
        const std::size_t step = std::max<std::size_t>(1, options.trickleBytes);
        if (!answer.Begin(200, kTextType, HttpFraming::Length, body.size()))
            return;
        for (std::size_t offset = 0; offset < body.size(); offset += step) {
            if (!answer.Write(std::string_view(body).substr(offset, step)) || WaitForStop(options.trickleInterval))
                return;
        }
    }

    // Announces the whole database, sends its first half, then either holds
    // the connection open silently (stall) or closes it (truncation).
    void AnswerPartly(const HttpRequest& request, HttpAnswer& answer, const std::string& serial, bool stall) {
        std::string body = provider(serial, options.records);
        if (body.size() < 2)
            body = std::string(4096, 'x');  // an empty database could not be cut short
        const std::size_t sent = body.size() / 2;
        Report(request, 200, body.size(),
               stall ? "fault: stall after " + std::to_string(sent) + " bytes"
                     : "fault: connection closed after " + std::to_string(sent) + " bytes");
        if (!answer.Begin(200, kTextType, HttpFraming::Length, body.size()) ||
            !answer.Write(std::string_view(body).substr(0, sent)))
            return;
        if (stall)
            WaitForStop(options.stallHold);
    }

    // Sends the first half of the database with no length and no chunking:
    // the end of the connection is the only end the answer has.
    void AnswerWithoutLength(const HttpRequest& request, HttpAnswer& answer, const std::string& serial) {
        std::string body = provider(serial, options.records);
        if (body.size() < 2)
            body = std::string(4096, 'x');
        const std::size_t sent = body.size() / 2;
        Report(request, 200, body.size(), "fault: no length, closed after " + std::to_string(sent) + " bytes");
        if (answer.Begin(200, kTextType, HttpFraming::UntilClose))
            answer.Write(std::string_view(body).substr(0, sent));
    }

    // Streams repetitions of a database in chunks, no length announced,
    // until oversizedBytes have gone out or the client gives up.
    void AnswerOversized(const HttpRequest& request, HttpAnswer& answer, const std::string& serial) {
        std::string piece = provider(serial, options.records);
        if (piece.empty())
            piece = std::string(65536, 'x');
        const std::size_t total = options.oversizedBytes;
        Report(request, 200, total, "fault: oversized body");
        if (!answer.Begin(200, kTextType, HttpFraming::Chunked))
            return;
        for (std::size_t offset = 0; offset < total; offset += piece.size()) {
            if (!answer.Write(std::string_view(piece).substr(0, std::min(piece.size(), total - offset))))
                return;
        }
        answer.Finish();
    }
};

SimUpdateServer::SimUpdateServer(UpdateServerOptions options, DatabaseTextProvider provider)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
    impl_->provider = provider ? std::move(provider) : DatabaseTextProvider(&GenerateDatabaseTextForSerial);
    // A client gets 2 s to send its request; a send that stalls 5 s gives the connection up.
    impl_->server.SetTimeLimits(2s, 5s);
}

SimUpdateServer::~SimUpdateServer() { Stop(); }

void SimUpdateServer::SetRequestObserver(std::function<void(const ServedRequest&)> observer) {
    impl_->observer = std::move(observer);
}

bool SimUpdateServer::Start(int port) {
    if (impl_->running || port < 0 || port > 65535)
        return false;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = false;
    }
    std::string error;
    if (!impl_->server.Start(port, error))
        return false;
    impl_->port = impl_->server.Port();
    impl_->running = true;
    return true;
}

void SimUpdateServer::Stop() {
    if (!impl_->running)
        return;
    impl_->running = false;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = true;
    }
    impl_->stopSignal.notify_all();
    impl_->server.Stop();
}

int SimUpdateServer::Port() const { return impl_->port; }

std::string SimUpdateServer::HostAndPort() const { return std::string(kLoopback) + ":" + std::to_string(Port()); }

std::size_t SimUpdateServer::RequestCount() const { return impl_->requestCount; }

std::string SimUpdateServer::DatabaseTextFor(const std::string& serial) const {
    return impl_->provider(serial, impl_->options.records);
}
