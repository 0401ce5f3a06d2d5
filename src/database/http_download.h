#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// How a download ended. Only Stored leaves a file behind.
enum class DownloadOutcome {
    Stored,          // the whole answer is in the destination file
    NotConnected,    // no connection: refused, unknown host, connect timeout
    HttpError,       // the server answered with a status other than 2xx
    Stalled,         // the answer came below the speed floor for a whole window (nothing at all, too)
    TimedOut,        // the whole transfer took longer than its total limit
    TooLarge,        // the answer is bigger than the size cap
    Truncated,       // the connection ended before the announced length arrived
    Unframed,        // neither a length nor chunked framing: a cut-off answer could not be told apart
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
    int fileError = 0;        // for FileError: the system's error code (ENOSPC, EACCES, ...), 0 when unknown

    bool Stored() const { return outcome == DownloadOutcome::Stored; }
};

// The time limits of a transfer, apart from any clock: fed the bytes
// received so far at moments measured from the transfer's start, it says
// whether the transfer may go on. Until connected only the total limit
// counts (the connect time-out is curl's); from then on the average speed
// over a sliding window must stay at or above the floor, and a window in
// which nothing arrived at all (no first byte yet, or a silence later) is
// judged by that same rule.
class TransferPace {
public:
    enum class Verdict { Going, TooSlow, TooLong };

    TransferPace(long minimumBytesPerSecond, std::chrono::milliseconds window, std::chrono::milliseconds totalLimit);

    Verdict Judge(std::chrono::milliseconds sinceStart, bool connected, std::uint64_t received);

private:
    struct Sample {
        std::chrono::milliseconds time;
        std::uint64_t bytes = 0;
    };
    long minimumBytesPerSecond_;
    std::chrono::milliseconds window_;
    std::chrono::milliseconds totalLimit_;
    // Received counts from the newest one at or before the window's start
    // onward, a few per window; empty until connected.
    std::vector<Sample> samples_;
};

// A blocking HTTP GET whose body becomes a file, with limits that keep the
// calling thread from hanging on a dead or misbehaving server.
//
// The destination is removed before the transfer starts, so a file from an
// earlier run can never pass for this answer. The body goes to a temporary
// file beside the destination and is renamed into place only when the
// transfer is complete: curl reported success, the status was 2xx, the body
// fit under the cap and its end could be told: the announced length arrived,
// or the chunked framing ended properly. An answer that just ends when the
// connection closes is refused, since a cut-off one looks the same.
// Neither the destination nor the temporary file is ever written through a
// link or in place of a device or FIFO (see CreateFreshFile).
class HttpDownload {
public:
    // Includes the host name look-up.
    std::chrono::milliseconds connectTimeout{15000};
    // Once connected, the transfer is abandoned when fewer than
    // lowSpeedBytesPerSecond arrived on average over the last lowSpeedTime (a
    // sliding window, checked at every progress report, at least once a
    // second); a server that is silent, before its first byte or later, is
    // judged by the same rule ...
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

// "host[:port]" of an http URL, without any user part.
std::string HttpHostOf(const std::string& url);
