#include "update_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "database/download_request.h"
#include "database_generator.h"

namespace {

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
bool QueryHasExactlyZThenS(const httplib::Request& request) {
    const auto query = request.target.find('?');
    if (query == std::string::npos || request.target.compare(query + 1, 2, "z=") != 0)
        return false;
    return request.params.size() == 2 && request.params.count("z") == 1 && request.params.count("s") == 1;
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
    httplib::Server server;
    std::thread listener;
    std::atomic<int> port{0};
    std::atomic<std::size_t> requestCount{0};

    // Ends stalled answers when the server stops.
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;

    void Report(const httplib::Request& request, int status, std::size_t bytes, std::string note) {
        ++requestCount;
        if (observer)
            observer(ServedRequest{request.target, status, bytes, std::move(note)});
    }

    // Waits until the server stops or the hold time is over.
    void HoldStalledAnswer() {
        std::unique_lock lock(stopMutex);
        stopSignal.wait_for(lock, options.stallHold, [this] { return stopping; });
    }

    void Answer(const httplib::Request& request, httplib::Response& response) {
        if (!QueryHasExactlyZThenS(request)) {
            response.status = 400;
            response.set_content(HtmlPage(400, "Bad Request"), kHtmlType);
            Report(request, 400, response.body.size(), "query is not z=...&s=...");
            return;
        }
        const std::string serial = request.get_param_value("s");
        if (request.get_param_value("z") != DownloadSignature(serial)) {
            response.status = 403;
            response.set_content(HtmlPage(403, "Forbidden"), kHtmlType);
            Report(request, 403, response.body.size(), "signature does not match the serial");
            return;
        }
        switch (options.fault) {
        case ServerFault::None: {
            response.set_content(provider(serial, options.records), kTextType);
            Report(request, 200, response.body.size(), "database for serial '" + serial + "'");
            return;
        }
        case ServerFault::ErrorStatus:
            response.status = options.errorStatus;
            response.set_content(HtmlPage(options.errorStatus, "Server Error"), kHtmlType);
            Report(request, options.errorStatus, response.body.size(), "fault: error status");
            return;
        case ServerFault::HtmlPage:
            response.set_content(HtmlPage(200, "Maintenance"), kHtmlType);
            Report(request, 200, response.body.size(), "fault: HTML page instead of a database");
            return;
        case ServerFault::Junk:
            response.set_content(JunkAnswer(), kTextType);
            Report(request, 200, response.body.size(), "fault: random bytes instead of a database");
            return;
        case ServerFault::Stall:
            AnswerPartly(request, response, true);
            return;
        case ServerFault::Truncated:
            AnswerPartly(request, response, false);
            return;
        case ServerFault::NoLength:
            AnswerWithoutLength(request, response);
            return;
        case ServerFault::Oversized:
            AnswerOversized(request, response);
            return;
        case ServerFault::Trickle:
            AnswerTrickling(request, response);
            return;
        }
    }

    // Sends the whole database with its length announced, a few bytes at a
    // time with a pause after each, until it is out or the server stops.
    void AnswerTrickling(const httplib::Request& request, httplib::Response& response) {
        auto body = std::make_shared<std::string>(provider(request.get_param_value("s"), options.records));
        Report(request, 200, body->size(), "fault: trickle");
        const std::size_t step = std::max<std::size_t>(1, options.trickleBytes);
        response.set_content_provider(
            body->size(), kTextType, [this, body, step](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                const std::size_t length = std::min(step, body->size() - offset);
                if (!sink.write(body->data() + offset, length))
                    return false;
                std::unique_lock lock(stopMutex);
                return !stopSignal.wait_for(lock, options.trickleInterval, [this] { return stopping; });
            });
    }

    // Announces the whole database, sends its first half, then either holds
    // the connection open silently (stall) or closes it (truncation).
    void AnswerPartly(const httplib::Request& request, httplib::Response& response, bool stall) {
        auto body = std::make_shared<std::string>(provider(request.get_param_value("s"), options.records));
        if (body->size() < 2)
            *body = std::string(4096, 'x');  // an empty database could not be cut short
        const std::size_t sent = body->size() / 2;
        Report(request, 200, body->size(),
               stall ? "fault: stall after " + std::to_string(sent) + " bytes"
                     : "fault: connection closed after " + std::to_string(sent) + " bytes");
        response.set_content_provider(
            body->size(), kTextType, [this, body, sent, stall](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset == 0 && sent > 0 && !sink.write(body->data(), sent))
                    return false;
                if (stall)
                    HoldStalledAnswer();
                return false;  // closes the connection short of the announced length
            });
    }

    // Sends the first half of the database with no length and no chunking:
    // the end of the connection is the only end the answer has.
    void AnswerWithoutLength(const httplib::Request& request, httplib::Response& response) {
        auto body = std::make_shared<std::string>(provider(request.get_param_value("s"), options.records));
        if (body->size() < 2)
            *body = std::string(4096, 'x');
        const std::size_t sent = body->size() / 2;
        Report(request, 200, body->size(), "fault: no length, closed after " + std::to_string(sent) + " bytes");
        response.set_content_provider(kTextType, [body, sent](std::size_t offset, httplib::DataSink& sink) {
            if (offset == 0 && !sink.write(body->data(), sent))
                return false;
            sink.done();
            return true;
        });
    }

    // Streams repetitions of a database with no length announced until
    // oversizedBytes have gone out or the client gives up.
    void AnswerOversized(const httplib::Request& request, httplib::Response& response) {
        auto piece = std::make_shared<std::string>(provider(request.get_param_value("s"), options.records));
        if (piece->empty())
            *piece = std::string(65536, 'x');
        const std::size_t total = options.oversizedBytes;
        Report(request, 200, total, "fault: oversized body");
        response.set_chunked_content_provider(
            kTextType, [piece, total](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= total) {
                    sink.done();
                    return true;
                }
                const std::size_t length = std::min(piece->size(), total - offset);
                return sink.write(piece->data(), length);
            });
    }

    void AnswerUnknownPath(const httplib::Request& request, httplib::Response& response) {
        response.status = 404;
        response.set_content(HtmlPage(404, "Not Found"), kHtmlType);
        Report(request, 404, response.body.size(), "unknown path");
    }
};

SimUpdateServer::SimUpdateServer(UpdateServerOptions options, DatabaseTextProvider provider)
    : impl_(std::make_unique<Impl>()) {
    impl_->options = options;
    impl_->provider = provider ? std::move(provider) : DatabaseTextProvider(&GenerateDatabaseTextForSerial);

    auto& server = impl_->server;
    // The library's default shares the port between listeners (SO_REUSEPORT):
    // a second server on a taken port must fail instead of splitting the
    // requests.
    server.set_socket_options([](socket_t sock) {
#ifdef _WIN32
        httplib::default_socket_options(sock);
#else
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
    });
    // Bounds how long Stop waits for an idle client connection.
    server.set_keep_alive_timeout(1);
    server.set_read_timeout(std::chrono::seconds(2));
    server.set_write_timeout(std::chrono::seconds(5));
    Impl* impl = impl_.get();
    server.Get(DownloadRequest::Path,
               [impl](const httplib::Request& request, httplib::Response& response) { impl->Answer(request, response); });
    server.Get(".*", [impl](const httplib::Request& request, httplib::Response& response) {
        impl->AnswerUnknownPath(request, response);
    });
}

SimUpdateServer::~SimUpdateServer() { Stop(); }

void SimUpdateServer::SetRequestObserver(std::function<void(const ServedRequest&)> observer) {
    impl_->observer = std::move(observer);
}

bool SimUpdateServer::Start(int port) {
    if (impl_->listener.joinable() || port < 0 || port > 65535)
        return false;
    auto& server = impl_->server;
    if (port == 0) {
        port = server.bind_to_any_port(kLoopback);
        if (port <= 0)
            return false;
    } else if (!server.bind_to_port(kLoopback, port)) {
        return false;
    }
    impl_->port = port;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = false;
    }
    auto listenerEnded = std::make_shared<std::atomic<bool>>(false);
    impl_->listener = std::thread([&server, listenerEnded] {
        server.listen_after_bind();
        *listenerEnded = true;
    });
    // stop() only takes effect once the accept loop runs; until then clients
    // simply wait in the listen queue.
    while (!server.is_running() && !*listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (*listenerEnded) {
        impl_->listener.join();
        return false;
    }
    return true;
}

void SimUpdateServer::Stop() {
    if (!impl_->listener.joinable())
        return;
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = true;
    }
    impl_->stopSignal.notify_all();
    impl_->server.stop();
    impl_->listener.join();
}

int SimUpdateServer::Port() const { return impl_->port; }

std::string SimUpdateServer::HostAndPort() const { return std::string(kLoopback) + ":" + std::to_string(Port()); }

std::size_t SimUpdateServer::RequestCount() const { return impl_->requestCount; }

std::string SimUpdateServer::DatabaseTextFor(const std::string& serial) const {
    return impl_->provider(serial, impl_->options.records);
}
