#include "ui/cycle_display.h"

#include "common/text_ids.h"
#include "ui/localised_text.h"

#include <type_traits>

#include "ui/bar_colours.h"
#include "ui/error_placement.h"
#include "common/cycle_signals.h"
#include "common/message_box_port.h"
#include "common/progress_bar_port.h"

CycleDisplay::CycleDisplay(CycleEventChannel& channel, ProgressBarPort& bar, MessageBoxPort& boxes,
                           const CycleSignals& signals, std::function<std::string()> errorCaption,
                           std::function<std::string(int stringId)> lookup)
    : channel_(channel),
      bar_(bar),
      boxes_(boxes),
      signals_(signals),
      errorCaption_(std::move(errorCaption)),
      lookup_(std::move(lookup)) {
    channel_.Subscribe(*this);
}

CycleDisplay::~CycleDisplay() { channel_.Unsubscribe(*this); }

void CycleDisplay::OnCycleEvent(const CycleEvent& event) {
    std::visit(
        [this](const auto& e) {
            using Event = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<Event, CycleEvents::OperationStarted>) {
                Started(e.operation);
            } else if constexpr (std::is_same_v<Event, CycleEvents::OperationProgress>) {
                Progress(e.percent);
            } else if constexpr (std::is_same_v<Event, CycleEvents::OperationFinished>) {
                Finished(e);
            } else if constexpr (std::is_same_v<Event, CycleEvents::Error>) {
                Error(e);
            } else if constexpr (std::is_same_v<Event, CycleEvents::DeviceAccess>) {
                Access(e.hint);
            } else if constexpr (std::is_same_v<Event, CycleEvents::Notice>) {
                ShowOnBar(e.text);
            } else if constexpr (std::is_same_v<Event, CycleEvents::StatusChanged>) {
                cycleWriting_ = e.status == CycleStatus::Writing;
            } else if constexpr (std::is_same_v<Event, CycleEvents::PhaseStarted>) {
                if (e.phase == CyclePhase::Download || e.phase == CyclePhase::Convert)
                    animating_ = true;
                // The download's animation starts from an empty bar.
                if (e.phase == CyclePhase::Download) {
                    SetBarText("0%");
                    bar_.SetPos(0);
                }
            } else if constexpr (std::is_same_v<Event, CycleEvents::PhaseEnded>) {
                // The conversion ends the animation full, whatever it came to.
                if (e.phase == CyclePhase::Convert) {
                    animating_ = false;
                    SetBarText("100%");
                    bar_.SetPos(100);
                }
            } else if constexpr (std::is_same_v<Event, CycleEvents::CycleEnded>) {
                animating_ = false;
            }
        },
        event);
}

bool CycleDisplay::ShowingProgress() const { return signals_.ShowProgress.load() == 1; }

// The bar is set up before the monitor can see the operation, so its first
// percent is never overwritten by this reset. The identity read shows its
// colours even when its progress does not.
void CycleDisplay::Started(DeviceOperation operation) {
    if (operation != DeviceOperation::IdentityRead && !ShowingProgress())
        return;
    bar_.SetPos(0);
    SetBarText("");
    bar_.SetShowText(true);
    const bool read = operation == DeviceOperation::Read || operation == DeviceOperation::IdentityRead;
    BarColours::Apply(bar_, read && !cycleWriting_.load() ? BarColours::Upload : BarColours::Write);
}

void CycleDisplay::Progress(int percent) {
    if (!ShowingProgress())
        return;
    SetBarText(std::to_string(percent) + "%");
    bar_.SetPos(percent);
}

void CycleDisplay::Finished(const CycleEvents::OperationFinished& finished) {
    if (ShowingProgress())
        bar_.SetPos(100);
    if (!finished.succeeded)
        return;
    if (finished.operation == DeviceOperation::Write || finished.operation == DeviceOperation::Erase)
        ShowOnBar("100%");
    else if (finished.operation == DeviceOperation::IdentityRead && ShowingProgress())
        ShowOnBar(VerifySuccessfulText);
}

// An error box's text is the worker's own, written whole in the language in
// force (its id names only the cause); texts from the device's layers come in
// English with an id.
std::string CycleDisplay::TextOf(const CycleEvents::Error& error) const {
    if (!lookup_ || error.textId == 0 || WhereShown(error) == ErrorShown::InErrorBox)
        return error.text;
    const std::string text = lookup_(error.textId);
    return text.empty() ? error.text : WithValues(text, error.args);
}

void CycleDisplay::Error(const CycleEvents::Error& error) {
    const std::string text = TextOf(error);
    const ErrorShown shown = WhereShown(error);
    switch (shown) {
    case ErrorShown::OnBar:
    case ErrorShown::OnBarAndBox:
        BarColours::Apply(bar_, BarColours::Error);
        ShowOnBar(text);
        if (shown == ErrorShown::OnBarAndBox)
            ShowBox(error.statusReport.empty() ? text : error.statusReport);
        break;
    case ErrorShown::InBox: ShowBox(text); break;
    case ErrorShown::InErrorBox:
        bar_.SetPos(0);
        boxes_.ShowErrorBox(error.text, errorCaption_ ? errorCaption_() : std::string());
        break;
    case ErrorShown::NotShown: break;
    }
}

// A device that is there but may not be opened would otherwise look like no
// device at all: the bar says why while it lasts, and gets its text back
// afterwards, unless something else has written over it meanwhile (this
// display, or the animation while it runs).
void CycleDisplay::Access(const std::string& hint) {
    std::lock_guard lock(textMutex_);
    if (!hint.empty()) {
        if (!accessProblemShown_) {
            textBeforeAccessProblem_ = barText_;
            accessProblemCovered_ = false;
        }
        accessProblemShown_ = true;
        bar_.SetText(AccessBarText());
    } else if (accessProblemShown_) {
        accessProblemShown_ = false;
        if (!accessProblemCovered_ && !animating_.load())
            bar_.SetText(barText_ = textBeforeAccessProblem_);
    }
}

std::string CycleDisplay::AccessBarText() const {
    const std::string text = lookup_ ? lookup_(TextId::NoUsbPermission) : std::string();
    return text.empty() ? DeviceAccessBarText : text;
}

void CycleDisplay::ShowOnBar(const std::string& text) {
    SetBarText(text);
    bar_.SetShowText(true);
}

void CycleDisplay::SetBarText(const std::string& text) {
    {
        std::lock_guard lock(textMutex_);
        barText_ = text;
        if (accessProblemShown_)
            accessProblemCovered_ = true;
    }
    bar_.SetText(text);
}

void CycleDisplay::ShowBox(const std::string& text) { boxes_.ShowMessageBox(text); }
