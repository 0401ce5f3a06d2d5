#include "database/http_download.h"
#include "database/http_transfer.h"

#include <curl/curl.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <string>

// The transport on Linux: libcurl's easy interface, blocking.

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

using Clock = std::chrono::steady_clock;

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
    auto& body = *static_cast<AnswerBody*>(context);
    const std::size_t length = size * count;
    // Any short count makes curl stop with CURLE_WRITE_ERROR.
    return body.Add(data, length) == AnswerBody::Append::Ok ? length : 0;
}

void ConfigureTransfer(CURL* curl, const HttpDownload& limits, const std::string& url, AnswerBody& body,
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
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &framing);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &WatchTransfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
}

DownloadResult OutcomeOfTransfer(CURL* curl, CURLcode code, const AnswerBody& body, const HttpDownload& limits,
                                 const TransferWatch& watch, const AnswerFraming& framing, const char* errorBuffer) {
    DownloadResult result;
    switch (code) {
    case CURLE_OK: {
        FinishedAnswer answer;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
        curl_off_t announced = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced >= 0)
            answer.announcedLength = static_cast<std::uint64_t>(announced);
        // curl itself refuses a chunked answer that ends before its last chunk.
        answer.chunked = framing.chunked;
        answer.received = body.written();
        result = JudgeFinishedAnswer(answer);
        break;
    }
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        result.outcome = DownloadOutcome::NotConnected;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        // The same code for a connect time-out and the total limit.
        result.outcome = Clock::now() - watch.start >= watch.totalLimit ? DownloadOutcome::TimedOut
                         : HasConnected(curl)                           ? DownloadOutcome::Stalled
                                                                        : DownloadOutcome::NotConnected;
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        result.outcome = DownloadOutcome::TransferFailed;
        if (watch.verdict != TransferPace::Verdict::Going)
            result = PaceFailure(watch.verdict, limits);
        break;
    case CURLE_HTTP_RETURNED_ERROR:
        result.outcome = DownloadOutcome::HttpError;
        break;
    case CURLE_FILESIZE_EXCEEDED:
        result.outcome = DownloadOutcome::TooLarge;
        break;
    case CURLE_WRITE_ERROR:
        result = BodyFailure(body);
        break;
    case CURLE_PARTIAL_FILE:
        result.outcome = DownloadOutcome::Truncated;
        break;
    default:
        result.outcome = DownloadOutcome::TransferFailed;
        break;
    }
    result.bytes = body.written();
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    const char* lastUrl = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &lastUrl) == CURLE_OK && lastUrl != nullptr) {
        result.host = HttpHostOf(lastUrl);
        result.lastUrl = lastUrl;
    }
    if (result.detail.empty())
        result.detail = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    return result;
}

}  // namespace

DownloadResult HttpDownload::FetchInto(const std::string& url, const std::string& destination) const {
    DownloadResult failure;
    OwnedFile file = PrepareDestination(destination, failure);
    if (!file)
        return failure;
    CurlHandle curl(CurlReady() ? curl_easy_init() : nullptr);
    if (!curl)
        return PlaceWhenWhole(DownloadFailure(DownloadOutcome::TransferFailed, "HTTP client initialisation failed"),
                              std::move(file), destination);

    AnswerBody body(file.get(), maxBytes);
    TransferWatch watch;
    watch.curl = curl.get();
    watch.totalLimit = totalTimeout;
    watch.pace = TransferPace(lowSpeedBytesPerSecond, lowSpeedTime, totalTimeout);
    watch.abort = abort;
    AnswerFraming framing;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    ConfigureTransfer(curl.get(), *this, url, body, watch, framing, errorBuffer);
    const CURLcode code = curl_easy_perform(curl.get());
    return PlaceWhenWhole(OutcomeOfTransfer(curl.get(), code, body, *this, watch, framing, errorBuffer),
                          std::move(file), destination);
}
