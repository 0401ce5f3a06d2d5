#include "database/http_download.h"

#include <filesystem>

// The rules every transport shares: names of the outcomes, where the body
// waits, and the time limits of a transfer.

std::string HttpHostOf(const std::string& url) {
    const auto scheme = url.find("://");
    const std::size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    std::string authority = url.substr(begin, url.find_first_of("/?#", begin) - begin);
    const auto user = authority.rfind('@');
    return user == std::string::npos ? authority : authority.substr(user + 1);
}

const char* DownloadOutcomeName(DownloadOutcome outcome) {
    switch (outcome) {
    case DownloadOutcome::Stored: return "stored";
    case DownloadOutcome::NotConnected: return "not connected";
    case DownloadOutcome::HttpError: return "HTTP error";
    case DownloadOutcome::Stalled: return "stalled";
    case DownloadOutcome::TimedOut: return "timed out";
    case DownloadOutcome::TooLarge: return "too large";
    case DownloadOutcome::Truncated: return "truncated";
    case DownloadOutcome::Unframed: return "no length";
    case DownloadOutcome::TransferFailed: return "transfer failed";
    case DownloadOutcome::FileError: return "file error";
    }
    return "unknown";
}

std::string HttpDownload::TemporaryPathFor(const std::string& destination) { return destination + ".part"; }

DownloadResult HttpDownload::Fetch(const std::string& url, const std::string& destination) const {
    DownloadResult result = FetchInto(url, destination);
    if (result.host.empty())
        result.host = HttpHostOf(url);
    result.folder = std::filesystem::path(destination).parent_path().string();
    return result;
}

TransferPace::TransferPace(long minimumBytesPerSecond, std::chrono::milliseconds window,
                           std::chrono::milliseconds totalLimit)
    : minimumBytesPerSecond_(minimumBytesPerSecond), window_(window), totalLimit_(totalLimit) {}

TransferPace::Verdict TransferPace::Judge(std::chrono::milliseconds sinceStart, bool connected,
                                          std::uint64_t received) {
    if (sinceStart >= totalLimit_)
        return Verdict::TooLong;
    if (!connected || minimumBytesPerSecond_ <= 0 || window_.count() <= 0)
        return Verdict::Going;
    if (!samples_.empty() && received < samples_.back().bytes)
        samples_.clear();  // a redirect: curl counts the new answer from 0
    if (samples_.empty() || sinceStart - samples_.back().time >= window_ / 16)
        samples_.push_back({sinceStart, received});
    while (samples_.size() >= 2 && samples_[1].time <= sinceStart - window_)
        samples_.erase(samples_.begin());
    const Sample& oldest = samples_.front();
    const auto span = sinceStart - oldest.time;
    if (span < window_)
        return Verdict::Going;  // not watched for a whole window yet
    const std::uint64_t arrived = received - oldest.bytes;
    const bool tooSlow = arrived * 1000u < static_cast<std::uint64_t>(minimumBytesPerSecond_) *
                                               static_cast<std::uint64_t>(span.count());
    return tooSlow ? Verdict::TooSlow : Verdict::Going;
}
