#pragma once

#include <string>

#include "common/colour.h"

// The progress bar's own state and its rules, apart from any toolkit: which
// position change needs a repaint, which text is drawn, and where the filled
// part ends. The Qt control holds one under its lock and only paints what
// Picture() describes.

// Width in pixels of the filled part: the position's fraction of the range,
// in double precision, times the client width, truncated toward zero.
int FilledWidth(int position, int lower, int upper, int clientWidth);

// The bar's own percentage, "%d%%" of the fraction x 100 truncated.
std::string PercentText(int position, int lower, int upper);

// Everything one paint needs, in client coordinates (left edge at 0).
struct ProgressBarPicture {
    int splitX = 0;  // first pixel of the empty part; the filled part is [0, splitX)
    int width = 0;
    Colour filledColour = 0;
    Colour emptyColour = 0;
    Colour textOverFilled = 0;
    Colour textOverEmpty = 0;
    bool showText = true;
    std::string text;
};

class ProgressBarModel {
public:
    static constexpr int LowerBound = 0;
    static constexpr int UpperBound = 100;
    static constexpr Colour White = Rgb(255, 255, 255);

    // `highlight` is the system highlight colour, read once when the bar is built.
    explicit ProgressBarModel(Colour highlight);

    struct PositionChange {
        int previous = -1;  // -1 when there is no window yet: nothing stored
        bool repaint = false;
    };
    // Repaints only when the filled width moves by at least one pixel.
    PositionChange SetPos(int position, int clientWidth);

    // Returns whether the bar must be repainted (an equal text does not).
    bool SetText(const std::string& text);
    const std::string& Text() const { return text_; }

    // Returns whether a repaint is due (window exists and the flag changed).
    bool SetShowText(bool show);

    // The client area changed size: the next SetPos repaints whatever the width.
    void Resized() { barWidth_ = -1; }

    void WindowCreated() { windowCreated_ = true; }
    void WindowDestroyed() { windowCreated_ = false; }

    void SetBarColour(Colour c) { barColour_ = c; }
    void SetBkColour(Colour c) { bkColour_ = c; }
    void SetTextColour(Colour c) { textColour_ = c; }
    void SetTextBkColour(Colour c) { textBkColour_ = c; }

    int Position() const { return position_; }
    bool ShowText() const { return showText_; }
    Colour BarColour() const { return barColour_; }
    Colour BkColour() const { return bkColour_; }
    Colour TextColour() const { return textColour_; }
    Colour TextBkColour() const { return textBkColour_; }

    ProgressBarPicture Picture(int clientWidth) const;

private:
    bool windowCreated_ = false;
    int position_ = 0;
    std::string text_;
    bool showText_ = true;
    int barWidth_ = -1;
    Colour barColour_;
    Colour bkColour_ = White;
    Colour textColour_;
    Colour textBkColour_ = White;
};
