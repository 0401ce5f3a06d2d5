#include "console_progress.h"

#include <algorithm>

namespace {

constexpr int kBarWidth = 20;

}  // namespace

void PhaseSteps::Plan(CycleSource source) {
    using P = CyclePhase;
    plan_ = {P::Identify, P::Download, P::Convert, P::Compare, P::Backup, P::Erase, P::Write, P::Verify, P::DateStamp};
    // A file and a backup are on this computer already.
    if (source != CycleSource::Server)
        plan_.erase(plan_.begin() + 1);
}

std::string PhaseSteps::StepOf(CyclePhase phase) const {
    const auto at = std::find(plan_.begin(), plan_.end(), phase);
    if (at == plan_.end())
        return {};
    return std::to_string(at - plan_.begin() + 1) + "/" + std::to_string(plan_.size());
}

bool PhaseSteps::Hidden(CyclePhase phase) const { return phase == CyclePhase::Convert && downloadFailed_; }

bool PhaseSteps::ShowEnd(const CycleEvents::PhaseEnded& ended) {
    if (ended.phase == CyclePhase::Download)
        downloadFailed_ = !ended.succeeded;
    if (Hidden(ended.phase))
        return false;
    const auto index = static_cast<std::size_t>(ended.phase);
    if (index >= CyclePhaseCount)
        return true;
    const bool first = !shown_.test(index);
    shown_.set(index);
    return first || !ended.succeeded;
}

std::string ProgressLine(CyclePhase phase, const std::string& step, int percent) {
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kBarWidth / 100;
    std::string line = PhaseName(phase);
    if (!step.empty())
        line += " " + step;
    line += "  [" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "] ";
    const std::string number = std::to_string(percent);
    return line + std::string(3 - std::min<std::size_t>(3, number.size()), ' ') + number + "%";
}
