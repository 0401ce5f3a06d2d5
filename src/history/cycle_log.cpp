#include "history/cycle_log.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <type_traits>
#include <utility>


#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include "common/file_io.h"
#include "common/utf8_path.h"

namespace {

const char* ErrorKindName(CycleErrorKind kind) {
    switch (kind) {
    case CycleErrorKind::Download: return "download";
    case CycleErrorKind::Conversion: return "conversion";
    case CycleErrorKind::WorkingFiles: return "working files";
    case CycleErrorKind::Device: return "device";
    case CycleErrorKind::Verify: return "verify";
    case CycleErrorKind::Identity: return "identity";
    }
    return "unknown";
}

void Escape(std::string& line, const unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", bytes[i]);
        line += escaped;
    }
}

// The length of the well-formed UTF-8 sequence at `text[i]`, 0 when there is
// none (a stray continuation byte, an overlong form, a surrogate, a cut-off
// sequence).
std::size_t Utf8Length(const std::string& text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = at(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// Texts that came from a device or a server stay on their line and cannot
// steer a terminal that shows the log: line breaks become " / ", control
// characters (C0, DEL and C1, U+0080 to U+009F) and bytes that are no UTF-8
// become \xNN, byte by byte.
std::string OneLine(const std::string& text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n'))
                ++i;
            if (i + 1 < text.size())
                line += " / ";
        } else if (c < 0x20 || c == 0x7F) {
            Escape(line, &c, 1);
        } else if (c < 0x80) {
            line += static_cast<char>(c);
        } else if (const std::size_t length = Utf8Length(text, i); length == 0) {
            Escape(line, &c, 1);
        } else {
            const auto* sequence = reinterpret_cast<const unsigned char*>(text.data() + i);
            const bool c1 = c == 0xC2 && sequence[1] < 0xA0;
            if (c1)
                Escape(line, sequence, length);
            else
                line.append(text, i, length);
            i += length - 1;
        }
    }
    return line;
}

std::string Holdings(const DatabaseHoldings& holdings) {
    if (!holdings.known)
        return "not read";
    std::string text = holdings.hasDatabase ? std::to_string(holdings.records) + " records" : "no database";
    return text + (holdings.date.empty() ? ", no date stamp" : ", dated " + OneLine(holdings.date));
}

std::string Durations(const PhaseDurations& durations) {
    std::string text;
    for (std::size_t i = 0; i < CyclePhaseCount; ++i)
        if (durations[i].count() != 0)
            text += std::string(text.empty() ? "" : ", ") + PhaseName(static_cast<CyclePhase>(i)) + " " +
                    std::to_string(durations[i].count()) + " ms";
    return text.empty() ? "none" : text;
}

// spdlog's spelling of a path: on Windows a wide one (SPDLOG_WCHAR_FILENAMES),
// since a narrow name would be read in the ANSI code page there.
spdlog::filename_t LogFileName(const std::string& path) { return PathFromUtf8(path).native(); }
std::string Utf8Of(const spdlog::filename_t& name) { return Utf8FromPath(std::filesystem::path(name)); }

bool IsLink(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(PathFromUtf8(path), error));
}

// A FIFO or device in a log file's place would hold the writer or take the
// lines elsewhere.
bool IsSpecial(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(PathFromUtf8(path), error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_symlink(status);
}

}  // namespace

std::string RequestWithoutSignature(const std::string& request) {
    std::string shown;
    std::size_t start = 0;
    while (start <= request.size()) {
        const std::size_t end = request.find_first_of("?&", start);
        const std::string piece = request.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const bool isQuery = start > 0;  // the part before the first '?' or '&' is the path
        shown += isQuery && piece.rfind("z=", 0) == 0 ? "z=(signature)" : piece;
        if (end == std::string::npos)
            break;
        shown += request[end];
        start = end + 1;
    }
    return shown;
}

CycleLog::CycleLog(std::string folder, Report report, StateName stateName, std::size_t maxFileBytes)
    : folder_(std::move(folder)),
      report_(std::move(report)),
      stateName_(std::move(stateName)),
      maxFileBytes_(maxFileBytes) {}

CycleLog::~CycleLog() = default;

void CycleLog::Fail(const std::string& what) {
    failed_ = true;
    logger_.reset();
    if (report_)
        std::exchange(report_, nullptr)("The log " + FilePath() + " cannot be written (" + what +
                                        "); updates go on without it.");
}

spdlog::logger* CycleLog::Logger() {
    if (logger_ || failed_)
        return logger_.get();
    std::error_code error;
    const std::filesystem::path folder = folder_.empty() ? std::filesystem::path(".") : PathFromUtf8(folder_);
    if (std::filesystem::create_directories(folder, error))
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    if (error) {
        Fail(error.message());
        return nullptr;
    }
    const std::string path = FilePath();
    for (std::size_t i = 0; i <= OlderFiles; ++i) {
        const std::string name =
            i == 0 ? path : Utf8Of(spdlog::sinks::rotating_file_sink_mt::calc_filename(LogFileName(path), i));
        if (IsLink(name) || IsSpecial(name)) {
            Fail(name + (IsLink(name) ? " is a link" : " is not a regular file"));
            return nullptr;
        }
    }
    try {
        // The log names the user's devices and requests: theirs alone to
        // read, from the first byte, also after each rotation.
        spdlog::file_event_handlers handlers;
        // A file already there is kept (EEXIST), never opened through a link.
        handlers.before_open = [](const spdlog::filename_t& name) { CreatePrivateFile(Utf8Of(name)); };
        handlers.after_open = [](const spdlog::filename_t&, std::FILE* file) { KeepOpenFilePrivate(file); };
        auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(LogFileName(path), maxFileBytes_,
                                                                           OlderFiles, false, handlers);
        logger_ = std::make_shared<spdlog::logger>("cycle", std::move(sink));
        logger_->set_pattern("%Y-%m-%d %H:%M:%S.%e %-7l %v");
        // Each line reaches the file at once: the last lines before a crash
        // are the ones support needs.
        logger_->flush_on(spdlog::level::trace);
        logger_->set_error_handler([this](const std::string& message) {
            // Called while a line is written, under mutex_; later lines are dropped.
            failed_ = true;
            if (report_)
                std::exchange(report_, nullptr)("The log " + FilePath() + " cannot be written (" + message +
                                                "); updates go on without it.");
        });
    } catch (const spdlog::spdlog_ex& problem) {
        Fail(problem.what());
    }
    return logger_.get();
}

void CycleLog::Note(const std::string& line) {
    std::lock_guard lock(mutex_);
    spdlog::logger* log = Logger();
    if (log != nullptr && !failed_)
        log->info("{}", OneLine(line));
}

void CycleLog::OnCycleEvent(const CycleEvent& event) {
    if (std::holds_alternative<CycleEvents::PhaseProgress>(event) ||
        std::holds_alternative<CycleEvents::OperationProgress>(event))
        return;  // too many, and the phase's start and end say enough
    std::lock_guard lock(mutex_);
    spdlog::logger* log = Logger();
    if (log == nullptr || failed_)
        return;
    std::visit(
        [&](const auto& e) {
            using Event = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<Event, CycleEvents::StateEntered>) {
                log->info("state {}", stateName_ ? stateName_(e.state) : CycleEvents::CycleStateName(e.state));
            } else if constexpr (std::is_same_v<Event, CycleEvents::DeviceIdentified>) {
                if (e.accepted)
                    log->info("device {}: Orvo s/n {}, database from the {}", OneLine(e.path), OneLine(e.serial),
                              SourceName(e.source));
                else
                    log->warn("device {}: refused", OneLine(e.path));
            } else if constexpr (std::is_same_v<Event, CycleEvents::HoldingsRead>) {
                log->info("the Orvo holds: {}", Holdings(e.holdings));
            } else if constexpr (std::is_same_v<Event, CycleEvents::PhaseStarted>) {
                log->info("{} started", PhaseName(e.phase));
            } else if constexpr (std::is_same_v<Event, CycleEvents::PhaseEnded>) {
                log->info("{} {} after {} ms", PhaseName(e.phase), e.succeeded ? "done" : "failed", e.duration.count());
            } else if constexpr (std::is_same_v<Event, CycleEvents::DownloadAnswered>) {
                if (e.redirectedTo.empty())
                    log->info("download {}: HTTP {}, {} bytes", OneLine(RequestWithoutSignature(e.request)),
                              e.httpStatus, e.bytes);
                else
                    log->info("download {} (redirected from {}): HTTP {}, {} bytes",
                              OneLine(RequestWithoutSignature(e.redirectedTo)),
                              OneLine(RequestWithoutSignature(e.request)), e.httpStatus, e.bytes);
            } else if constexpr (std::is_same_v<Event, CycleEvents::Error>) {
                log->error("{} error: {}", ErrorKindName(e.kind), OneLine(e.text));
                if (!e.statusReport.empty())
                    log->error("status report: {}", OneLine(e.statusReport));
            } else if constexpr (std::is_same_v<Event, CycleEvents::DeviceAccess>) {
                if (e.hint.empty())
                    log->info("no DFU-mode device is refused to this user any more");
                else
                    log->warn("{}", OneLine(e.hint));
            } else if constexpr (std::is_same_v<Event, CycleEvents::Notice>) {
                log->info("{}", OneLine(e.text));
            } else if constexpr (std::is_same_v<Event, CycleEvents::CycleEnded>) {
                log->info("cycle {}{}{}: s/n {}, from the {}; before: {}; after: {}; {} bytes downloaded; {}",
                          OutcomeName(e.outcome), e.cause.empty() ? "" : ", ", OneLine(e.cause), OneLine(e.serial),
                          SourceName(e.source), Holdings(e.before), Holdings(e.after), e.bytesDownloaded,
                          Durations(e.durations));
            }
        },
        event);
}
