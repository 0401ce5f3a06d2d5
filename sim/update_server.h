#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// How the simulated update server misbehaves, on request.
enum class ServerFault {
    None,         // answers the database text
    ErrorStatus,  // answers UpdateServerOptions::errorStatus with an HTML error page
    Stall,        // sends part of the database, then nothing more
    Truncated,    // announces the whole length, sends part of it, closes
    Oversized,    // streams far more than any database, with no length announced
    HtmlPage,     // answers 200 with an HTML page instead of a database
    Trickle,      // sends the whole database, trickleBytes every trickleInterval
    Junk,         // answers 200 with random bytes instead of a database
    NoLength,     // sends part of the database with neither a length nor chunking, closes
};

struct UpdateServerOptions {
    std::size_t records = 1000;  // database size per request
    ServerFault fault = ServerFault::None;
    int errorStatus = 500;
    std::size_t oversizedBytes = 40u << 20;  // beyond the client's 32 MiB cap
    // How long a stalled answer is held open before the server gives up on
    // it itself; stopping the server ends it at once.
    std::chrono::milliseconds stallHold{std::chrono::minutes(2)};
    // A trickling answer: 64 bytes every 100 ms is 640 bytes/s.
    std::size_t trickleBytes = 64;
    std::chrono::milliseconds trickleInterval{100};
};

// Parses a fault's name (ServerFaultHelp lists them) into `options`; false
// when the text is none of them.
bool ParseServerFault(const std::string& text, UpdateServerOptions& options);
const char* ServerFaultName(ServerFault fault);
// Every fault ParseServerFault accepts, one per line, each with what it does,
// indented by `indent` spaces.
std::string ServerFaultHelp(int indent);
// The names ParseServerFault accepts, separated by '|'.
std::string ServerFaultNames();

// The junk answer: `size` random bytes, the same for the same seed. Now and
// then a NUL cuts them into "records" of any length, a few perhaps of the 13
// characters a real record has.
std::string JunkAnswer(std::size_t size = 64u * 1024, unsigned seed = 1);

// One request the server answered, for logs and tests.
struct ServedRequest {
    std::string target;  // path and query as received
    int status = 0;
    std::size_t bytes = 0;  // body bytes the answer was meant to have
    std::string note;
};

// The database text answered for a serial and a record count.
using DatabaseTextProvider = std::function<std::string(const std::string& serial, std::size_t records)>;

// The maker's update server, simulated on 127.0.0.1:
//   GET /OrvoDownload.aspx?z=<signature>&s=<serial>
// answers the database text for `s` when `z` is its signature, 403 when it is
// not (or a key is missing), 404 for any other path.
class SimUpdateServer {
public:
    explicit SimUpdateServer(UpdateServerOptions options = {}, DatabaseTextProvider provider = {});
    ~SimUpdateServer();
    SimUpdateServer(const SimUpdateServer&) = delete;
    SimUpdateServer& operator=(const SimUpdateServer&) = delete;

    // Called on a server thread for every answered request; set before Start.
    void SetRequestObserver(std::function<void(const ServedRequest&)> observer);

    // Listens on 127.0.0.1:`port`; 0 picks a free port. False when the port
    // cannot be bound.
    bool Start(int port = 0);
    // Ends held answers, stops listening and waits for the server's threads.
    void Stop();

    int Port() const;
    // "127.0.0.1:<port>", what CDfuDevice::ServerHost takes.
    std::string HostAndPort() const;
    std::size_t RequestCount() const;

    // The body a correctly signed request for `serial` gets without faults.
    std::string DatabaseTextFor(const std::string& serial) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
