#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ui/cycle_display.h"
#include "common/cycle_signals.h"
#include "common/message_box_port.h"
#include "common/progress_bar_port.h"

// Test doubles that record what the operations show the user.
class RecordingProgressBar : public ProgressBarPort {
public:
    int SetPos(int position) override {
        std::lock_guard lock(mutex_);
        const int previous = pos_;
        pos_ = position;
        positions_.push_back(position);
        return previous;
    }
    void SetText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        text_ = text;
        texts_.push_back(text);
    }
    std::string Text() const override {
        std::lock_guard lock(mutex_);
        return text_;
    }
    void SetShowText(bool show) override {
        std::lock_guard lock(mutex_);
        showText_ = show;
    }
    void SetBarColour(Colour c) override { Store(barColour_, c); }
    void SetBkColour(Colour c) override { Store(bkColour_, c); }
    void SetTextColour(Colour c) override { Store(textColour_, c); }
    void SetTextBkColour(Colour c) override { Store(textBkColour_, c); }

    int Pos() const { return Locked(pos_); }
    bool ShowText() const { return Locked(showText_); }
    Colour BarColour() const { return Locked(barColour_); }
    Colour BkColour() const { return Locked(bkColour_); }
    Colour TextColour() const { return Locked(textColour_); }
    Colour TextBkColour() const { return Locked(textBkColour_); }
    std::vector<int> Positions() const { return Locked(positions_); }
    std::vector<std::string> Texts() const { return Locked(texts_); }

private:
    template <class T>
    void Store(T& field, T value) {
        std::lock_guard lock(mutex_);
        field = value;
    }
    template <class T>
    T Locked(const T& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }

    mutable std::mutex mutex_;
    int pos_ = 0;
    std::string text_;
    bool showText_ = false;
    Colour barColour_ = 0, bkColour_ = 0, textColour_ = 0, textBkColour_ = 0;
    std::vector<int> positions_;
    std::vector<std::string> texts_;
};

class RecordingMessageBox : public MessageBoxPort {
public:
    void ShowMessageBox(const std::string& text) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }
    std::vector<std::string> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};

// The boxes that a channel's events open in the window, recorded: the
// window's display listening with a bar nobody looks at.
class RecordedBoxes : public RecordingMessageBox {
public:
    explicit RecordedBoxes(CycleEventChannel& channel) : display_(channel, bar_, *this, signals_) {}

private:
    RecordingProgressBar bar_;
    CycleSignals signals_;
    CycleDisplay display_;
};
