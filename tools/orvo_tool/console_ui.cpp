#include "console_ui.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

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

void ConsoleEvents::PlanSteps(CycleSource source) {
    std::lock_guard lock(mutex_);
    steps_.Plan(source);
}

void ConsoleEvents::SendProgressTo(std::FILE* out, bool terminal) {
    std::lock_guard lock(mutex_);
    EndLineLocked();
    out_ = out;
    terminal_ = terminal;
}

bool ConsoleEvents::SaidAlready(const std::string& text) {
    std::lock_guard lock(mutex_);
    bool any = false;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        if (!line.empty()) {
            if (errorLines_.count(line) == 0)
                return false;
            any = true;
        }
        start = end + 1;
    }
    return any;
}

void ConsoleEvents::NoteStop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
}

void ConsoleEvents::EndLineLocked() {
    if (!lineOpen_)
        return;
    std::fputc('\n', out_);
    std::fflush(out_);
    lineOpen_ = false;
    shownWidth_ = 0;
}

void ConsoleEvents::Started(CyclePhase phase) {
    shownPercent_ = -1;
    if (terminal_ && !steps_.Hidden(phase))
        ShowPercent(phase, 0);
}

void ConsoleEvents::Progress(CyclePhase phase, double fraction) {
    if (terminal_ && !steps_.Hidden(phase))
        ShowPercent(phase, static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100.0)));
}

void ConsoleEvents::ShowPercent(CyclePhase phase, int percent) {
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    const std::string line = ProgressLine(phase, steps_.StepOf(phase), percent);
    // Spaces over what a longer line before left on the terminal.
    const std::size_t pad = shownWidth_ > line.size() ? shownWidth_ - line.size() : 0;
    std::fprintf(out_, "\r%s%s", line.c_str(), std::string(pad, ' ').c_str());
    std::fflush(out_);
    shownWidth_ = line.size();
    lineOpen_ = true;
}

void ConsoleEvents::Ended(const CycleEvents::PhaseEnded& ended) {
    const bool show = steps_.ShowEnd(ended);
    if (terminal_) {
        if (ended.succeeded && !steps_.Hidden(ended.phase))
            ShowPercent(ended.phase, 100);
        return;
    }
    if (!show)
        return;
    const char* how = ended.succeeded ? "done in" : stopping_ ? "stopped after" : "failed after";
    std::fprintf(out_, "%s: %s %.1f s\n", PhaseName(ended.phase), how, Seconds(ended.duration));
    std::fflush(out_);
}

void ConsoleEvents::Error(const CycleEvents::Error& error) {
    EndLineLocked();
    const auto say = [this](const std::string& text) {
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            const std::string line = text.substr(start, end - start);
            std::fprintf(stderr, "%s\n", line.c_str());
            errorLines_.insert(line);
            start = end + 1;
        }
    };
    say(error.text);
    say(error.statusReport);
    std::fflush(stderr);
}

void ConsoleEvents::Notice(const std::string& text) {
    EndLineLocked();
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
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
        std::fprintf(stderr, "%s\n-> %s\n", request->text.c_str(), yes ? "Yes" : "No (-y answers Yes)");
    std::lock_guard lock(mutex_);
    if (answer_)
        answer_(request->id, yes);
}
