#include "database/http_download.h"

// clang-format off
#include "common/windows_support.h"
#include <winhttp.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cwctype>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "database/http_errors_winhttp.h"
#include "database/http_transfer.h"

// The transport on Windows: WinHTTP, synchronous, with the system's proxy
// settings. WinHTTP's calls block without a progress callback, so a watcher
// thread judges the pace and the abort flag and closes the request when the
// transfer must end; the blocked call then returns with "cancelled".

namespace {

using Clock = std::chrono::steady_clock;

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr)
            WinHttpCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_ = nullptr;
};

// The session with the system's proxy settings: the automatic ones where
// this Windows has them (8.1 and later), the configured default otherwise.
HINTERNET OpenSession() {
    const wchar_t* agent = L"Orvo Updater";
    HINTERNET session = WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr)
        session = WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    return session;
}

int Milliseconds(std::chrono::milliseconds duration) {
    return static_cast<int>(std::min<long long>(duration.count(), 0x7FFFFFFF));
}

// Ends the request from another thread when the pace, the total limit or the
// abort flag says so. The request handle is closed exactly once, by whoever
// comes first.
class TransferWatcher {
public:
    TransferWatcher(HINTERNET request, const HttpDownload& limits)
        : request_(request),
          abort_(limits.abort),
          pace_(limits.lowSpeedBytesPerSecond, limits.lowSpeedTime, limits.totalTimeout),
          tick_(std::clamp(limits.lowSpeedTime / 16, std::chrono::milliseconds(20), std::chrono::milliseconds(250))),
          thread_([this] { Run(); }) {}

    ~TransferWatcher() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        wake_.notify_all();
        thread_.join();
        CloseRequest();
    }
    TransferWatcher(const TransferWatcher&) = delete;
    TransferWatcher& operator=(const TransferWatcher&) = delete;

    void Connected() { connected_ = true; }
    void Received(std::uint64_t total) { received_ = total; }

    TransferPace::Verdict verdict() const { return verdict_; }
    bool aborted() const { return aborted_; }
    // Set once the watcher ended the transfer: the handle is gone.
    bool ended() const { return verdict_ != TransferPace::Verdict::Going || aborted_; }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, tick_, [this] { return finished_; })) {
            if (abort_ != nullptr && abort_->load()) {
                aborted_ = true;
                break;
            }
            const auto sinceStart = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
            const auto verdict = pace_.Judge(sinceStart, connected_, received_);
            if (verdict != TransferPace::Verdict::Going) {
                verdict_ = verdict;
                break;
            }
        }
        if (!finished_) {
            lock.unlock();
            CloseRequest();
        }
    }

    void CloseRequest() {
        std::lock_guard lock(closeMutex_);
        if (request_ != nullptr)
            WinHttpCloseHandle(request_);
        request_ = nullptr;
    }

    HINTERNET request_;
    const std::atomic<bool>* abort_;
    TransferPace pace_;
    std::chrono::milliseconds tick_;
    Clock::time_point start_ = Clock::now();
    std::atomic<bool> connected_{false};
    std::atomic<std::uint64_t> received_{0};
    std::atomic<TransferPace::Verdict> verdict_{TransferPace::Verdict::Going};
    std::atomic<bool> aborted_{false};
    std::mutex mutex_;
    std::mutex closeMutex_;
    std::condition_variable wake_;
    bool finished_ = false;
    std::thread thread_;
};

std::optional<std::wstring> QueryText(HINTERNET request, DWORD what) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                             WINHTTP_NO_HEADER_INDEX))
        return std::nullopt;
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

long QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return static_cast<long>(status);
}

// Content-Length as sent; nothing when absent or not a plain number.
std::optional<std::uint64_t> QueryContentLength(HINTERNET request) {
    const auto text = QueryText(request, WINHTTP_QUERY_CONTENT_LENGTH);
    if (!text || text->empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : *text) {
        if (c < L'0' || c > L'9' || value > (~0ull - 9) / 10)
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    return value;
}

bool IsChunked(HINTERNET request) {
    auto text = QueryText(request, WINHTTP_QUERY_TRANSFER_ENCODING);
    if (!text)
        return false;
    for (wchar_t& c : *text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text->find(L"chunked") != std::wstring::npos;
}

// The URL the answer came from, after any redirect.
std::string AnswerUrl(HINTERNET request) {
    DWORD size = 0;
    WinHttpQueryOption(request, WINHTTP_OPTION_URL, nullptr, &size);
    if (size == 0)
        return {};
    std::wstring url(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_URL, url.data(), &size))
        return {};
    url.resize(size / sizeof(wchar_t));
    while (!url.empty() && url.back() == L'\0')
        url.pop_back();
    return Narrow(url);
}

struct Target {
    std::wstring host;
    INTERNET_PORT port = 80;
    std::wstring pathAndQuery;
};

// Only plain http: the answer is never fetched from anywhere else.
bool CrackHttpUrl(const std::string& url, Target& target, DownloadResult& failure) {
    const std::wstring wide = Widen(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) {
        failure = DownloadFailure(DownloadOutcome::TransferFailed, "not a URL: " + url);
        return false;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP) {
        failure = DownloadFailure(DownloadOutcome::TransferFailed, "only plain http is fetched: " + url);
        return false;
    }
    target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target.port = parts.nPort;
    target.pathAndQuery.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr)
        target.pathAndQuery.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (target.pathAndQuery.empty())
        target.pathAndQuery = L"/";
    return true;
}

void LimitRedirects(HINTERNET request, long maxRedirects) {
    if (maxRedirects <= 0) {
        DWORD disable = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
        return;
    }
    DWORD most = static_cast<DWORD>(maxRedirects);
    WinHttpSetOption(request, WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &most, sizeof most);
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
}

class WinHttpTransfer {
public:
    WinHttpTransfer(const HttpDownload& limits, AnswerBody& body) : limits_(limits), body_(body) {}

    DownloadResult Run(const Target& target) {
        InternetHandle session(OpenSession());
        if (!session)
            return Failed(WinHttpPhase::Connecting);
        // WinHTTP's own limits are backstops: the watcher ends a slow or
        // silent transfer first, so they sit a little beyond the floor's window.
        const int connect = Milliseconds(limits_.connectTimeout);
        const int silence = Milliseconds(limits_.lowSpeedTime + std::chrono::seconds(2));
        WinHttpSetTimeouts(session.get(), connect, connect, silence, silence);
        InternetHandle connection(WinHttpConnect(session.get(), target.host.c_str(), target.port, 0));
        if (!connection)
            return Failed(WinHttpPhase::Connecting);
        // The query goes out exactly as built: nothing in it is escaped.
        HINTERNET request = WinHttpOpenRequest(connection.get(), L"GET", target.pathAndQuery.c_str(), nullptr,
                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
        if (request == nullptr)
            return Failed(WinHttpPhase::Connecting);
        LimitRedirects(request, limits_.maxRedirects);
        TransferWatcher watcher(request, limits_);
        DownloadResult result = Exchange(request, watcher);
        if (watcher.ended())
            result = watcher.aborted() ? DownloadFailure(DownloadOutcome::TransferFailed, "abandoned")
                                       : PaceFailure(watcher.verdict(), limits_);
        result.bytes = body_.written();
        return result;
    }

private:
    DownloadResult Exchange(HINTERNET request, TransferWatcher& watcher) {
        if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return Failed(WinHttpPhase::Connecting);
        watcher.Connected();
        if (!WinHttpReceiveResponse(request, nullptr))
            return Failed(WinHttpPhase::AwaitingAnswer);

        FinishedAnswer answer;
        answer.status = QueryStatus(request);
        url_ = AnswerUrl(request);
        host_ = HttpHostOf(url_);
        if (answer.status < 200 || answer.status > 299)
            return JudgeFinishedAnswer(answer);  // a body with an error status is never a database
        if (!AnswerUrlIsHttp(request))
            return DownloadFailure(DownloadOutcome::TransferFailed, "redirected away from plain http");
        answer.announcedLength = QueryContentLength(request);
        answer.chunked = IsChunked(request);
        if (answer.announcedLength && AnnouncedOverCap(*answer.announcedLength, limits_)) {
            DownloadResult tooLarge = DownloadFailure(DownloadOutcome::TooLarge, "announced length over the size cap");
            tooLarge.httpStatus = answer.status;
            return tooLarge;
        }

        std::vector<char> buffer(64 * 1024);
        for (;;) {
            // Only what has arrived is read: a read of a whole buffer may wait
            // until it is full, and the watcher would see a slow answer as
            // one that sends nothing.
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(request, &available)) {
                DownloadResult failed = Failed(WinHttpPhase::ReadingBody);
                failed.httpStatus = answer.status;
                return failed;
            }
            if (available == 0)
                break;
            DWORD read = 0;
            const DWORD wanted = std::min<DWORD>(available, static_cast<DWORD>(buffer.size()));
            if (!WinHttpReadData(request, buffer.data(), wanted, &read)) {
                DownloadResult failed = Failed(WinHttpPhase::ReadingBody);
                failed.httpStatus = answer.status;
                return failed;
            }
            if (read == 0)
                break;
            if (body_.Add(buffer.data(), read) != AnswerBody::Append::Ok) {
                DownloadResult failed = BodyFailure(body_);
                failed.httpStatus = answer.status;
                return failed;
            }
            watcher.Received(body_.written());
        }
        answer.received = body_.written();
        return JudgeFinishedAnswer(answer);
    }

    static bool AnswerUrlIsHttp(HINTERNET request) {
        const std::string url = AnswerUrl(request);
        return url.empty() || url.rfind("http://", 0) == 0 || url.rfind("HTTP://", 0) == 0;
    }

    DownloadResult Failed(WinHttpPhase phase) const {
        const DWORD error = GetLastError();
        return DownloadFailure(OutcomeOfWinHttpError(error, phase), WinHttpErrorText(error));
    }

public:
    // The URL that answered (after redirects) and its host; empty when none did.
    std::string url_;
    std::string host_;

private:
    const HttpDownload& limits_;
    AnswerBody& body_;
};

}  // namespace

DownloadResult HttpDownload::FetchInto(const std::string& url, const std::string& destination) const {
    DownloadResult failure;
    OwnedFile file = PrepareDestination(destination, failure);
    if (!file)
        return failure;
    Target target;
    if (!CrackHttpUrl(url, target, failure))
        return PlaceWhenWhole(failure, std::move(file), destination);
    AnswerBody body(file.get(), maxBytes);
    WinHttpTransfer transfer(*this, body);
    DownloadResult result = transfer.Run(target);
    if (!transfer.host_.empty())
        result.host = transfer.host_;
    // As curl's effective URL: the one that answered, else the one tried.
    result.lastUrl = transfer.url_.empty() ? url : transfer.url_;
    return PlaceWhenWhole(std::move(result), std::move(file), destination);
}
