#include "database/http_download.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <cstring>
#include <system_error>

#include "common/file_io.h"


namespace {

// curl's global set-up is done once, before the first transfer; it is never
// undone because a transfer may start at any time until the process ends.
bool CurlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

struct CurlHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

using Clock = std::chrono::steady_clock;

// Where the body goes while it arrives.
struct BodySink {
    std::FILE* file = nullptr;
    std::uint64_t written = 0;
    std::uint64_t cap = 0;
    bool overCap = false;
    bool writeFailed = false;
    int writeError = 0;
};

// What the headers of the last answer (after any redirect) said about where
// its body ends.
struct AnswerFraming {
    bool chunked = false;
};

// Watches the transfer against its time limits (TransferPace) on the steady
// clock, and for the program's end.
struct TransferWatch {
    CURL* curl = nullptr;
    const std::atomic<bool>* abort = nullptr;
    long minimumBytesPerSecond = 0;
    std::chrono::milliseconds speedWindow{0};
    std::chrono::milliseconds totalLimit{0};
    TransferPace pace{0, std::chrono::milliseconds(0), std::chrono::milliseconds(0)};
    Clock::time_point start = Clock::now();
    bool connected = false;
    TransferPace::Verdict verdict = TransferPace::Verdict::Going;
};

bool HasConnected(CURL* curl) {
    curl_off_t connectTime = 0;
    return curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK && connectTime > 0;
}

// Returning non-zero makes curl end the transfer with CURLE_ABORTED_BY_CALLBACK.
int WatchTransfer(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto& watch = *static_cast<TransferWatch*>(context);
    if (watch.abort != nullptr && watch.abort->load())
        return 1;
    if (!watch.connected)
        watch.connected = HasConnected(watch.curl);
    const auto sinceStart = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - watch.start);
    watch.verdict = watch.pace.Judge(sinceStart, watch.connected, static_cast<std::uint64_t>(received));
    return watch.verdict == TransferPace::Verdict::Going ? 0 : 1;
}

// Called for every header line of every answer, the status line first.
std::size_t ReadHeader(char* data, std::size_t size, std::size_t count, void* context) {
    auto& framing = *static_cast<AnswerFraming*>(context);
    const std::size_t length = size * count;
    std::string line(data, length);
    for (char& c : line)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (line.rfind("http/", 0) == 0)
        framing = AnswerFraming{};  // a new answer: a redirect's headers no longer count
    else if (line.rfind("transfer-encoding:", 0) == 0 && line.find("chunked") != std::string::npos)
        framing.chunked = true;
    return length;
}

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* context) {
    auto& sink = *static_cast<BodySink*>(context);
    const std::size_t length = size * count;
    if (length > sink.cap - sink.written) {
        sink.overCap = true;
        return 0;  // any short count makes curl stop with CURLE_WRITE_ERROR
    }
    errno = 0;
    if (std::fwrite(data, 1, length, sink.file) != length) {
        sink.writeFailed = true;
        sink.writeError = LastSystemError();
        return 0;
    }
    sink.written += length;
    return length;
}

DownloadResult Failure(DownloadOutcome outcome, std::string detail) {
    DownloadResult result;
    result.outcome = outcome;
    result.detail = std::move(detail);
    return result;
}

DownloadResult FileFailure(int error, const std::string& what) {
    DownloadResult result = Failure(DownloadOutcome::FileError, WriteErrorText(what, error));
    result.fileError = error;
    return result;
}

void ConfigureTransfer(CURL* curl, const HttpDownload& limits, const std::string& url, BodySink& sink,
                       TransferWatch& watch, AnswerFraming& framing, char* errorBuffer) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    // Blocking on the worker thread: no signals for time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP));
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP));
#endif
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, limits.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    // The watch checks the total time at every progress report (at least once
    // a second); curl's own limit is only the backstop, set later so that it
    // never ends the transfer first: its clock and ours differ by a little.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>((limits.totalTimeout + std::chrono::seconds(2)).count()));
    // Rejects an announced length over the cap before any byte is stored; the
    // write callback enforces the cap when no length is announced.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    // A body that comes with an error status is never a database.
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &framing);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &WatchTransfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
}

DownloadResult OutcomeOfTransfer(CURL* curl, CURLcode code, const BodySink& sink, const TransferWatch& watch,
                                 const AnswerFraming& framing, const char* errorBuffer) {
    DownloadResult result;
    result.bytes = sink.written;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    const char* lastUrl = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &lastUrl) == CURLE_OK && lastUrl != nullptr)
        result.host = HttpHostOf(lastUrl);
    result.detail = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);

    switch (code) {
    case CURLE_OK:
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        result.outcome = DownloadOutcome::NotConnected;
        return result;
    case CURLE_OPERATION_TIMEDOUT:
        // The same code for a connect time-out and the total limit.
        result.outcome = Clock::now() - watch.start >= watch.totalLimit ? DownloadOutcome::TimedOut
                         : HasConnected(curl)                           ? DownloadOutcome::Stalled
                                                                        : DownloadOutcome::NotConnected;
        return result;
    case CURLE_ABORTED_BY_CALLBACK:
        result.outcome = DownloadOutcome::TransferFailed;
        if (watch.verdict == TransferPace::Verdict::TooLong) {
            result.outcome = DownloadOutcome::TimedOut;
            result.detail = "not finished within " + std::to_string(watch.totalLimit.count()) + " ms";
        } else if (watch.verdict == TransferPace::Verdict::TooSlow) {
            result.outcome = DownloadOutcome::Stalled;
            result.detail = "fewer than " + std::to_string(watch.minimumBytesPerSecond) + " bytes/s over " +
                            std::to_string(watch.speedWindow.count()) + " ms";
        }
        return result;
    case CURLE_HTTP_RETURNED_ERROR:
        result.outcome = DownloadOutcome::HttpError;
        return result;
    case CURLE_FILESIZE_EXCEEDED:
        result.outcome = DownloadOutcome::TooLarge;
        return result;
    case CURLE_WRITE_ERROR:
        result.outcome = sink.overCap ? DownloadOutcome::TooLarge
                         : sink.writeFailed ? DownloadOutcome::FileError
                                            : DownloadOutcome::TransferFailed;
        if (sink.overCap)
            result.detail = "answer larger than the size cap";
        if (sink.writeFailed) {
            result.fileError = sink.writeError;
            result.detail = std::strerror(sink.writeError);
        }
        return result;
    case CURLE_PARTIAL_FILE:
        result.outcome = DownloadOutcome::Truncated;
        return result;
    default:
        result.outcome = DownloadOutcome::TransferFailed;
        return result;
    }

    if (result.httpStatus < 200 || result.httpStatus > 299) {
        result.outcome = DownloadOutcome::HttpError;
        result.detail = "HTTP status " + std::to_string(result.httpStatus);
        return result;
    }
    curl_off_t announced = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced >= 0 && static_cast<std::uint64_t>(announced) != sink.written) {
        result.outcome = DownloadOutcome::Truncated;
        result.detail = "received " + std::to_string(sink.written) + " of " + std::to_string(announced) + " bytes";
        return result;
    }
    // curl itself refuses a chunked answer that ends before its last chunk.
    if (announced < 0 && !framing.chunked) {
        result.outcome = DownloadOutcome::Unframed;
        result.detail = "received " + std::to_string(sink.written) +
                        " bytes with neither a length nor chunked framing; the answer may have been cut off";
        return result;
    }
    result.outcome = DownloadOutcome::Stored;
    result.detail = "stored " + std::to_string(sink.written) + " bytes";
    return result;
}

}  // namespace

DownloadResult HttpDownload::FetchInto(const std::string& url, const std::string& destination) const {
    // An earlier file can never pass for this answer; a link or anything but
    // a regular file in its place is left alone and refused.
    if (const int error = RemoveRegularFile(destination); error != 0)
        return FileFailure(error, destination);

    const std::string temporary = TemporaryPathFor(destination);
    if (!CurlReady())
        return Failure(DownloadOutcome::TransferFailed, "HTTP client initialisation failed");
    CurlHandle curl(curl_easy_init());
    if (!curl)
        return Failure(DownloadOutcome::TransferFailed, "HTTP client initialisation failed");

    int createError = 0;
    std::unique_ptr<std::FILE, FileCloser> file(CreateFreshFile(temporary, createError));
    if (!file)
        return FileFailure(createError, temporary);

    BodySink sink;
    sink.file = file.get();
    sink.cap = maxBytes;
    TransferWatch watch;
    watch.curl = curl.get();
    watch.minimumBytesPerSecond = lowSpeedBytesPerSecond;
    watch.speedWindow = lowSpeedTime;
    watch.totalLimit = totalTimeout;
    watch.pace = TransferPace(lowSpeedBytesPerSecond, lowSpeedTime, totalTimeout);
    watch.abort = abort;
    AnswerFraming framing;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    ConfigureTransfer(curl.get(), *this, url, sink, watch, framing, errorBuffer);
    const CURLcode code = curl_easy_perform(curl.get());
    DownloadResult result = OutcomeOfTransfer(curl.get(), code, sink, watch, framing, errorBuffer);

    errno = 0;
    if (std::fclose(file.release()) != 0 && result.Stored())
        result = FileFailure(LastSystemError(), temporary);
    if (result.Stored()) {
        errno = 0;
        if (std::rename(temporary.c_str(), destination.c_str()) == 0)
            return result;
        result = FileFailure(LastSystemError(), destination);
    }
    RemoveRegularFile(temporary);
    return result;
}
