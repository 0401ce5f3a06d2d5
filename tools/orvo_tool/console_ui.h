#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>

#include <set>
#include <string>

#include "common/cycle_events.h"
#include "console_progress.h"

// How a command-line program shows what a device's cycle does, from its
// events alone. On a terminal one line rewrites itself with the running
// phase, its step and a bar with its percent; piped, each phase gets one
// line when it first ends. Errors go to stderr, each with the status report
// that came with it; notices with the progress (stdout unless told).
class ConsoleEvents final : public CycleEventListener {
public:
    explicit ConsoleEvents(bool terminal) : terminal_(terminal) {}

    void OnCycleEvent(const CycleEvent& event) override;
    // Ends a progress line that the terminal still shows.
    void EndLine();
    // Numbers the phases as steps of a cycle of `source`.
    void PlanSteps(CycleSource source);
    // Progress and notices go to `out` (stderr when stdout carries JSON),
    // drawn as a bar when `terminal`.
    void SendProgressTo(std::FILE* out, bool terminal);
    // Whether every line of `text` was said on stderr already.
    bool SaidAlready(const std::string& text);
    // The cycle is being stopped (Ctrl-C): a phase cut short from here on
    // was stopped, not failed. Any thread.
    void NoteStop();

private:
    void Started(CyclePhase phase);
    void Progress(CyclePhase phase, double fraction);
    void Ended(const CycleEvents::PhaseEnded& ended);
    void Error(const CycleEvents::Error& error);
    void Notice(const std::string& text);
    void ShowPercent(CyclePhase phase, int percent);
    void EndLineLocked();

    std::mutex mutex_;
    bool terminal_;
    std::FILE* out_ = stdout;
    bool lineOpen_ = false;
    int shownPercent_ = -1;
    std::size_t shownWidth_ = 0;
    PhaseSteps steps_;
    std::set<std::string> errorLines_;
    bool stopping_ = false;
};

// Whether stdout is a terminal, where a progress line may rewrite itself.
bool StdoutIsTerminal();

// Answers the update engine's requests from a terminal, as they come: a box
// is dismissed at once (what it says arrives as an error event too); a
// question is said on stderr with its answer, No unless AnswerQuestions said
// Yes.
class ConsoleAnswers final : public CycleEventListener {
public:
    using Answer = std::function<void(std::uint64_t requestId, bool yes)>;

    // How an answer reaches the engine; null while none runs.
    void AnswerThrough(Answer answer);
    void AnswerQuestions(bool yes) { answerYes_ = yes; }
    void OnCycleEvent(const CycleEvent& event) override;

private:
    std::mutex mutex_;
    Answer answer_;
    std::atomic<bool> answerYes_{false};
};
