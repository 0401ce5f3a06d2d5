#include "update/status_text_display.h"

#include "common/guarded_text.h"
#include "common/view_port.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "update/holdings_text.h"

StatusTextDisplay::StatusTextDisplay(CycleEventChannel& channel, StatusTextHolder& text, const Resources& resources,
                                     ViewPort& view)
    : channel_(channel), text_(text), resources_(resources), view_(view) {
    channel_.Subscribe(*this);
}

StatusTextDisplay::~StatusTextDisplay() { channel_.Unsubscribe(*this); }

int StatusTextDisplay::StringId(CycleStatus status) {
    switch (status) {
    case CycleStatus::WaitingForOrvo: return ResourceId::ConnectDeviceText;
    case CycleStatus::Connecting: return ResourceId::ConnectingText;
    case CycleStatus::PreparingForSerial: return ResourceId::SerialPrefixText;
    case CycleStatus::WaitingForReconnect: return ResourceId::ReconnectText;
    case CycleStatus::Writing: return ResourceId::WritingText;
    case CycleStatus::Complete: return ResourceId::CompleteText;
    case CycleStatus::Failed: return ResourceId::FailedText;
    case CycleStatus::Kept: return ResourceId::DatabaseKeptText;
    }
    return ResourceId::ConnectDeviceText;
}

void StatusTextDisplay::OnCycleEvent(const CycleEvent& event) {
    const auto* changed = std::get_if<CycleEvents::StatusChanged>(&event);
    if (changed == nullptr)
        return;
    // Under the serial, what the Orvo held when its cycle began.
    StatusTextHolder::LineComposer below;
    if (changed->status == CycleStatus::PreparingForSerial && changed->holdings.known)
        below = [holdings = changed->holdings](const StatusTextHolder::Lookup& lookup) {
            return HoldingsLine(lookup, holdings);
        };
    text_.Show(StringId(changed->status), changed->serial, resources_.StringLookup(), std::move(below));
    view_.RepaintAll();
}
