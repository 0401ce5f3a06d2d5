#include "database/http_errors_winhttp.h"

namespace {

// WinHTTP's own error codes (winhttp.h), restated so that this table needs
// no Windows header.
namespace WinHttpError {
constexpr std::uint32_t OutOfHandles = 12001;
constexpr std::uint32_t Timeout = 12002;
constexpr std::uint32_t InvalidUrl = 12005;
constexpr std::uint32_t UnrecognizedScheme = 12006;
constexpr std::uint32_t NameNotResolved = 12007;
constexpr std::uint32_t OperationCancelled = 12017;
constexpr std::uint32_t CannotConnect = 12029;
constexpr std::uint32_t ConnectionError = 12030;
constexpr std::uint32_t ResendRequest = 12032;
constexpr std::uint32_t InvalidServerResponse = 12152;
constexpr std::uint32_t RedirectFailed = 12156;
constexpr std::uint32_t BadAutoProxyScript = 12166;
constexpr std::uint32_t UnableToDownloadScript = 12167;
constexpr std::uint32_t AutoProxyServiceError = 12178;
constexpr std::uint32_t AutodetectionFailed = 12180;
}  // namespace WinHttpError

const char* Meaning(std::uint32_t error) {
    using namespace WinHttpError;
    switch (error) {
    case OutOfHandles: return "out of handles";
    case Timeout: return "timed out";
    case InvalidUrl: return "invalid URL";
    case UnrecognizedScheme: return "unrecognised scheme";
    case NameNotResolved: return "host name not resolved";
    case OperationCancelled: return "cancelled";
    case CannotConnect: return "cannot connect";
    case ConnectionError: return "connection reset or closed";
    case ResendRequest: return "request must be resent";
    case InvalidServerResponse: return "invalid answer from the server";
    case RedirectFailed: return "redirect failed";
    case BadAutoProxyScript: return "bad proxy script";
    case UnableToDownloadScript: return "proxy script could not be fetched";
    case AutoProxyServiceError: return "proxy service error";
    case AutodetectionFailed: return "proxy detection failed";
    default: return nullptr;
    }
}

}  // namespace

DownloadOutcome OutcomeOfWinHttpError(std::uint32_t error, WinHttpPhase phase) {
    using namespace WinHttpError;
    switch (error) {
    case NameNotResolved:
    case CannotConnect:
    case BadAutoProxyScript:
    case UnableToDownloadScript:
    case AutoProxyServiceError:
    case AutodetectionFailed:
        return DownloadOutcome::NotConnected;
    case Timeout:
        // WinHTTP's own time-outs are backstops behind the speed floor: one
        // before the request went out is a connect time-out.
        return phase == WinHttpPhase::Connecting ? DownloadOutcome::NotConnected : DownloadOutcome::Stalled;
    case ConnectionError:
        if (phase == WinHttpPhase::Connecting)
            return DownloadOutcome::NotConnected;
        return phase == WinHttpPhase::ReadingBody ? DownloadOutcome::Truncated : DownloadOutcome::TransferFailed;
    case InvalidServerResponse:
        // In the body this is a chunked answer that ended before its last chunk.
        return phase == WinHttpPhase::ReadingBody ? DownloadOutcome::Truncated : DownloadOutcome::TransferFailed;
    default:
        return DownloadOutcome::TransferFailed;
    }
}

std::string WinHttpErrorText(std::uint32_t error) {
    std::string text = "WinHTTP error " + std::to_string(error);
    if (const char* meaning = Meaning(error))
        text += std::string(" (") + meaning + ")";
    return text;
}
