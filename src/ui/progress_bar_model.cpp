#include "ui/progress_bar_model.h"

#include <algorithm>

namespace {

double Fraction(int position, int lower, int upper) {
    if (upper == lower)
        return 0.0;  // a degenerate range fills nothing rather than dividing by zero
    return static_cast<double>(position - lower) / static_cast<double>(upper - lower);
}

}  // namespace

int FilledWidth(int position, int lower, int upper, int clientWidth) {
    return static_cast<int>(Fraction(position, lower, upper) * static_cast<double>(clientWidth));
}

std::string PercentText(int position, int lower, int upper) {
    const int percent = static_cast<int>(Fraction(position, lower, upper) * 100.0);
    return std::to_string(percent) + "%";
}

ProgressBarModel::ProgressBarModel(Colour highlight) : barColour_(highlight), textColour_(highlight) {}

ProgressBarModel::PositionChange ProgressBarModel::SetPos(int position, int clientWidth) {
    if (!windowCreated_)
        return {};
    PositionChange change{position_, false};
    position_ = position;
    const int width = FilledWidth(position_, LowerBound, UpperBound, clientWidth);
    if (width != barWidth_) {
        barWidth_ = width;
        change.repaint = true;
    }
    return change;
}

bool ProgressBarModel::SetText(const std::string& text) {
    if (text == text_)
        return false;
    text_ = text;
    return true;
}

bool ProgressBarModel::SetShowText(bool show) {
    const bool repaint = windowCreated_ && show != showText_;
    showText_ = show;
    return repaint;
}

ProgressBarPicture ProgressBarModel::Picture(int clientWidth) const {
    ProgressBarPicture picture;
    picture.width = clientWidth;
    // A position outside the range still paints inside the control.
    picture.splitX = std::clamp(FilledWidth(position_, LowerBound, UpperBound, clientWidth), 0,
                                std::max(clientWidth, 0));
    picture.filledColour = barColour_;
    picture.emptyColour = bkColour_;
    picture.textOverFilled = textBkColour_;
    picture.textOverEmpty = textColour_;
    picture.showText = showText_;
    picture.text = text_.empty() ? PercentText(position_, LowerBound, UpperBound) : text_;
    return picture;
}
