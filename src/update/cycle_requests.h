#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
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

    // Whether a front end may close now: at once unless `writing`. While the
    // Orvo is written the user is asked first, without holding anybody: the
    // CloseQuestion goes out and false comes back; `approved` runs on the
    // answering thread once the answer is Yes, never on No or after Cancel.
    // While that question is out a further call asks nothing more. After
    // Cancel nothing is asked: the write ends with the engine anyway.
    bool MayClose(bool writing, const std::string& text, const std::string& caption,
                  std::function<void()> approved);

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
    // The close question out now (0: none), and what its Yes runs.
    std::uint64_t closeQuestion_ = 0;
    std::function<void()> closeApproved_;
    bool cancelled_ = false;
};
