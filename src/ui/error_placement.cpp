#include "ui/error_placement.h"

#include <array>

namespace {

struct Placement {
    ErrorCause cause;
    ErrorShown step;   // one step on the device failed
    ErrorShown cycle;  // the cycle ended in Failed for it
};

// The device's own failures are shown where its operations show themselves,
// on the bar (the status report and a verify's address in a box as well); a
// cycle that cannot go on says so in the error box; a request that cannot be
// written, or another device, is told by the cycle's outcome.
constexpr std::array<Placement, ErrorCauseCount> Placements = {{
    {ErrorCause::DeviceStep, ErrorShown::OnBar, ErrorShown::OnBar},
    {ErrorCause::OperationFailed, ErrorShown::OnBarAndBox, ErrorShown::OnBarAndBox},
    {ErrorCause::ReadBackDiffers, ErrorShown::OnBarAndBox, ErrorShown::OnBarAndBox},
    {ErrorCause::UnsupportedFeature, ErrorShown::InBox, ErrorShown::InBox},
    {ErrorCause::WorkingFile, ErrorShown::InBox, ErrorShown::InErrorBox},
    {ErrorCause::DownloadUnusable, ErrorShown::InErrorBox, ErrorShown::InErrorBox},
    {ErrorCause::RequestUnusable, ErrorShown::NotShown, ErrorShown::NotShown},
    {ErrorCause::OtherDevice, ErrorShown::NotShown, ErrorShown::NotShown},
}};

constexpr bool EveryCauseInItsRow() {
    for (std::size_t i = 0; i < Placements.size(); ++i)
        if (static_cast<std::size_t>(Placements[i].cause) != i)
            return false;
    return true;
}
static_assert(EveryCauseInItsRow(), "one row per cause, in the order of ErrorCause");

}  // namespace

ErrorShown WhereShown(ErrorCause cause, ErrorSeverity severity) {
    const auto row = static_cast<std::size_t>(cause);
    // A cause from a newer publisher than this table: the bar at least says it.
    if (row >= Placements.size())
        return ErrorShown::OnBar;
    return severity == ErrorSeverity::Cycle ? Placements[row].cycle : Placements[row].step;
}
