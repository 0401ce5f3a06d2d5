#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "common/cycle_events.h"
#include "common/message_box_port.h"

// The boxes and questions that hold the cycle until the user has dealt with
// them, asked without calling into any front end: each goes out on the
// device's event channel as a Request, and the asking thread waits until a
// front end answers it by its id, from whatever thread and whenever it likes
// (even from inside the event's delivery). Cancel ends every wait, with No,
// and answers every later request at once: a stopping engine waits for
// nobody.
class CycleRequests final : public MessageBoxPort {
public:
    explicit CycleRequests(CycleEventChannel& channel) : channel_(channel) {}
    CycleRequests(const CycleRequests&) = delete;
    CycleRequests& operator=(const CycleRequests&) = delete;

    void ShowMessageBox(const std::string& text) override { Ask(CycleRequestKind::Box, text, {}); }
    void ShowErrorBox(const std::string& text, const std::string& caption) override {
        Ask(CycleRequestKind::ErrorBox, text, caption);
    }
    // True for Yes; No when cancelled.
    bool AskYesNo(const std::string& text, const std::string& caption) {
        return Ask(CycleRequestKind::YesNo, text, caption);
    }

    // An id that is not waiting (answered, cancelled, never asked) is ignored.
    void Answer(std::uint64_t id, bool yes);
    void Cancel();

private:
    bool Ask(CycleRequestKind kind, const std::string& text, const std::string& caption);

    CycleEventChannel& channel_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::map<std::uint64_t, std::optional<bool>> waiting_;
    std::uint64_t lastId_ = 0;
    bool cancelled_ = false;
};
