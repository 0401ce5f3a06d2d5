#pragma once

#include <string>

#include "common/colour.h"

// The single progress bar as the worker, the operation monitor and the status
// reports see it. The Qt control implements it (posting to the UI thread when
// called from another thread); tests record the calls.
class ProgressBarPort {
public:
    virtual ~ProgressBarPort() = default;

    // Returns the previous position, or -1 when the control has no window.
    virtual int SetPos(int position) = 0;
    // An empty text makes the bar show its own percentage.
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() const = 0;
    virtual void SetShowText(bool show) = 0;
    virtual void SetBarColour(Colour colour) = 0;
    virtual void SetBkColour(Colour colour) = 0;
    virtual void SetTextColour(Colour colour) = 0;
    virtual void SetTextBkColour(Colour colour) = 0;
};
