#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "common/cycle_events.h"
#include "common/view_port.h"

// How a command-line program shows what a device's cycle does, from its
// events alone. On a terminal one line rewrites itself with the running
// phase and its percent; piped, each phase gets one line when it ends.
// Errors go to stderr, each with the status report that came with it;
// notices to stdout.
class ConsoleEvents final : public CycleEventListener {
public:
    explicit ConsoleEvents(bool terminal) : terminal_(terminal) {}

    void OnCycleEvent(const CycleEvent& event) override;
    // Ends a progress line that the terminal still shows.
    void EndLine();

private:
    void Started(CyclePhase phase);
    void Progress(CyclePhase phase, double fraction);
    void Ended(const CycleEvents::PhaseEnded& ended);
    void Error(const CycleEvents::Error& error);
    void Notice(const std::string& text);
    void ShowPercent(CyclePhase phase, int percent);
    void EndLineLocked();

    std::mutex mutex_;
    const bool terminal_;
    bool lineOpen_ = false;
    int shownPercent_ = -1;
};

// Whether stdout is a terminal, where a progress line may rewrite itself.
bool StdoutIsTerminal();

// The main view's timers for a program without a window: each started timer
// ticks `tick` with its id, every period, on a thread of its own, until it is
// stopped or the view goes. A tick may start and stop timers. Message boxes
// show nothing: what they would say arrives as an error event.
class ConsoleView final : public ViewPort {
public:
    explicit ConsoleView(std::function<void(int timerId)> tick);
    ~ConsoleView() override;
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    // Returns once no tick runs and none will any more.
    void Stop();

    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void RepaintAll() override {}
    void ShowMessageBox(const std::string&) override {}
    // Says the question on stderr and answers it as AnswerQuestions chose
    // (No unless told otherwise).
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void AnswerQuestions(bool yes) { answerYes_ = yes; }

private:
    struct Timer {
        std::chrono::milliseconds period;
        std::chrono::steady_clock::time_point due;
    };
    void Run();

    const std::function<void(int)> tick_;
    std::atomic<bool> answerYes_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, Timer> timers_;
    bool stop_ = false;
    std::thread thread_;
};
