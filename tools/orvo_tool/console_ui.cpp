#include "console_ui.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

// Wide enough for the longest phase name ("date stamp").
constexpr int kPhaseColumn = 10;

double Seconds(std::chrono::milliseconds duration) { return static_cast<double>(duration.count()) / 1000.0; }

}  // namespace

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void ConsoleEvents::OnCycleEvent(const CycleEvent& event) {
    std::lock_guard lock(mutex_);
    std::visit(
        [this](const auto& e) {
            using Event = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<Event, CycleEvents::PhaseStarted>)
                Started(e.phase);
            else if constexpr (std::is_same_v<Event, CycleEvents::PhaseProgress>)
                Progress(e.phase, e.fraction);
            else if constexpr (std::is_same_v<Event, CycleEvents::PhaseEnded>)
                Ended(e);
            else if constexpr (std::is_same_v<Event, CycleEvents::Error>)
                Error(e);
            else if constexpr (std::is_same_v<Event, CycleEvents::Notice>)
                Notice(e.text);
        },
        event);
}

void ConsoleEvents::EndLine() {
    std::lock_guard lock(mutex_);
    EndLineLocked();
}

void ConsoleEvents::EndLineLocked() {
    if (!lineOpen_)
        return;
    std::fputc('\n', stdout);
    std::fflush(stdout);
    lineOpen_ = false;
}

void ConsoleEvents::Started(CyclePhase phase) {
    shownPercent_ = -1;
    if (terminal_)
        ShowPercent(phase, 0);
}

void ConsoleEvents::Progress(CyclePhase phase, double fraction) {
    if (terminal_)
        ShowPercent(phase, static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100.0)));
}

void ConsoleEvents::ShowPercent(CyclePhase phase, int percent) {
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    std::printf("\r%-*s %3d%%", kPhaseColumn, PhaseName(phase), percent);
    std::fflush(stdout);
    lineOpen_ = true;
}

void ConsoleEvents::Ended(const CycleEvents::PhaseEnded& ended) {
    if (terminal_) {
        if (ended.succeeded)
            ShowPercent(ended.phase, 100);
        return;
    }
    std::printf("%s: %s %.1f s\n", PhaseName(ended.phase), ended.succeeded ? "done in" : "failed after",
                Seconds(ended.duration));
    std::fflush(stdout);
}

void ConsoleEvents::Error(const CycleEvents::Error& error) {
    EndLineLocked();
    const auto line = [](const std::string& text) {
        if (!text.empty())
            std::fprintf(stderr, "%s%s", text.c_str(), text.back() == '\n' ? "" : "\n");
    };
    line(error.text);
    line(error.statusReport);
    std::fflush(stderr);
}

void ConsoleEvents::Notice(const std::string& text) {
    EndLineLocked();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void SayQuestion(const std::string& text, bool yes) {
    std::fprintf(stderr, "%s\n-> %s\n", text.c_str(), yes ? "Yes" : "No");
}

bool ConsoleView::AskYesNo(const std::string& text, const std::string&) {
    const bool yes = answerYes_.load();
    SayQuestion(text, yes);
    return yes;
}

void ConsoleAnswers::AnswerThrough(Answer answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
}

void ConsoleAnswers::OnCycleEvent(const CycleEvent& event) {
    const auto* request = std::get_if<CycleEvents::Request>(&event);
    if (request == nullptr)
        return;
    const bool yes = request->kind == CycleRequestKind::YesNo && answerYes_.load();
    if (request->kind == CycleRequestKind::YesNo)
        SayQuestion(request->text, yes);
    std::lock_guard lock(mutex_);
    if (answer_)
        answer_(request->id, yes);
}
