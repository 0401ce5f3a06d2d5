#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// How a download ended. Only Stored leaves a file behind.
enum class DownloadOutcome {
    Stored,          // the whole answer is in the destination file
    NotConnected,    // no connection: refused, unknown host, connect timeout
    HttpError,       // the server answered with a status other than 2xx
    Stalled,         // nothing arrived for too long, or the answer came below the speed floor for too long
    TimedOut,        // the whole transfer took longer than its total limit
    TooLarge,        // the answer is bigger than the size cap
    Truncated,       // the connection ended before the announced length arrived
    TransferFailed,  // any other transfer failure (bad URL, protocol error, too many redirects)
    FileError,       // the destination could not be cleared, written or put in place
};

const char* DownloadOutcomeName(DownloadOutcome outcome);

struct DownloadResult {
    DownloadOutcome outcome = DownloadOutcome::TransferFailed;
    long httpStatus = 0;      // last status received, 0 when none
    std::uint64_t bytes = 0;  // body bytes received
    std::string detail;       // a readable reason, for tools and logs
    std::string host;         // host[:port] of the last URL tried, for "no connection to HOST"
    std::string folder;       // the folder the answer was to be stored in

    bool Stored() const { return outcome == DownloadOutcome::Stored; }
};

// A blocking HTTP GET whose body becomes a file, with limits that keep the
// calling thread from hanging on a dead or misbehaving server.
//
// The destination is removed before the transfer starts, so a file from an
// earlier run can never pass for this answer. The body goes to a temporary
// file beside the destination and is renamed into place only when the
// transfer is complete: curl reported success, the status was 2xx, the body
// fit under the cap and, where the server announced a length, had it.
class HttpDownload {
public:
    // Includes the host name look-up.
    std::chrono::milliseconds connectTimeout{15000};
    // The transfer is abandoned when no body byte has arrived for
    // stallTimeout (since the connection was made, or since the last byte), ...
    std::chrono::milliseconds stallTimeout{30000};
    // ... or when, once connected, fewer than lowSpeedBytesPerSecond arrived
    // on average over the last lowSpeedTime (a sliding window, checked at
    // every progress report, at least once a second) ...
    long lowSpeedBytesPerSecond = 1024;
    std::chrono::milliseconds lowSpeedTime{std::chrono::seconds(60)};
    // ... or when the whole transfer, connecting included, has not ended
    // after totalTimeout: a trickle just above the floor must end too.
    std::chrono::milliseconds totalTimeout{std::chrono::minutes(15)};
    // Far above the largest database (about 2.1 MB).
    std::uint64_t maxBytes = 32ull << 20;
    // Redirects are followed to plain http only.
    long maxRedirects = 3;
    // Raised by another thread, ends the transfer within about a second
    // (program end must not wait out the time-outs above). Not owned.
    const std::atomic<bool>* abort = nullptr;

    DownloadResult Fetch(const std::string& url, const std::string& destination) const;

    // The temporary file a transfer into `destination` writes to.
    static std::string TemporaryPathFor(const std::string& destination);

private:
    DownloadResult FetchInto(const std::string& url, const std::string& destination) const;
};
