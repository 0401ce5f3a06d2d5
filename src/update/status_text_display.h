#pragma once

#include "common/cycle_events.h"

class Resources;
class StatusTextHolder;
class ViewPort;

// The status text as a listener of the channel: each StatusChanged becomes
// its string in the language in force (kept by id, so that a language change
// shows it again in the new language) and a repaint of the view.
class StatusTextDisplay final : public CycleEventListener {
public:
    // Subscribes to `channel` until destroyed; destroy it only once nothing
    // publishes on the channel any more.
    StatusTextDisplay(CycleEventChannel& channel, StatusTextHolder& text, const Resources& resources, ViewPort& view);
    ~StatusTextDisplay() override;
    StatusTextDisplay(const StatusTextDisplay&) = delete;
    StatusTextDisplay& operator=(const StatusTextDisplay&) = delete;

    void OnCycleEvent(const CycleEvent& event) override;

    // The string that says `status`.
    static int StringId(CycleStatus status);

private:
    CycleEventChannel& channel_;
    StatusTextHolder& text_;
    const Resources& resources_;
    ViewPort& view_;
};
