#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/cycle_events.h"

namespace spdlog {
class logger;
}

// The log for support: each cycle's steps, one line each, in a file that is
// rotated at MaxFileBytes and kept as three files (the log and two older
// ones). The folder and the file are made at the first event, the folder for
// the user alone. A log that cannot be written is reported once and then
// left alone; it never stands in the way of an update. Thread-safe.
class CycleLog : public CycleEventListener {
public:
    static constexpr std::size_t MaxFileBytes = 1024 * 1024;
    static constexpr std::size_t OlderFiles = 2;
    static constexpr const char* FileName = "orvo-updater.log";

    // Called at most once, on the thread that met the failure.
    using Report = std::function<void(const std::string& text)>;
    // The name of a state of the cycle (the log's layer does not know them).
    using StateName = std::function<std::string(std::int32_t state)>;

    CycleLog(std::string folder, Report report, StateName stateName = {}, std::size_t maxFileBytes = MaxFileBytes);
    ~CycleLog() override;

    // The folder followed by FileName.
    std::string FilePath() const { return folder_ + FileName; }

    void OnCycleEvent(const CycleEvent& event) override;
    // A line of the program's own that no event carries (the sleep guard's).
    void Note(const std::string& line);

private:
    spdlog::logger* Logger();
    void Fail(const std::string& what);

    std::string folder_;
    Report report_;
    StateName stateName_;
    std::size_t maxFileBytes_;
    std::mutex mutex_;
    std::shared_ptr<spdlog::logger> logger_;
    bool failed_ = false;
};

// A download request as the log shows it: the value of its signature key
// `z` is left out, should a publisher ever pass it on.
std::string RequestWithoutSignature(const std::string& request);
