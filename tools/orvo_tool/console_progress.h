#pragma once

#include <bitset>
#include <string>
#include <vector>

#include "common/cycle_events.h"

// What the console makes of a cycle's phases: which step of the command a
// phase is ("write 7/9"), and which phase ends are worth a line when the
// output is not a terminal.
class PhaseSteps {
public:
    // The phases a cycle of `source` runs, in order; a cycle may skip some
    // (no backup of an empty Orvo, nothing to write when it holds the
    // database already).
    void Plan(CycleSource source);

    // "3/9"; empty without a plan or for a phase outside it.
    std::string StepOf(CyclePhase phase) const;
    // A conversion after a download that stored nothing has nothing to
    // convert: it is not shown at all.
    bool Hidden(CyclePhase phase) const;
    // Records the end and says whether it gets a line: each phase once (the
    // write and its verification run again for the header block), a failure
    // always.
    bool ShowEnd(const CycleEvents::PhaseEnded& ended);

private:
    std::vector<CyclePhase> plan_;
    std::bitset<CyclePhaseCount> shown_;
    bool downloadFailed_ = false;
};

// One line of the terminal's progress display: "write 7/9  [#######             ]  35%"
// (without the step when `step` is empty).
std::string ProgressLine(CyclePhase phase, const std::string& step, int percent);
