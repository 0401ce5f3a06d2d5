#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "common/message_box_port.h"
#include "common/progress_bar_port.h"

class CDfuDevice;

// The progress bar of a command-line program: each new caption goes on a line
// of its own, on stderr while the bar shows the error colours, on stdout
// otherwise.
class ConsoleProgressBar : public ProgressBarPort {
public:
    int SetPos(int position) override;
    void SetText(const std::string& text) override;
    std::string Text() const override;
    void SetShowText(bool show) override;
    void SetBarColour(Colour colour) override;
    void SetBkColour(Colour) override {}
    void SetTextColour(Colour) override {}
    void SetTextBkColour(Colour) override {}

    // Whether the last caption shown was an error.
    bool ShowedError() const;

private:
    mutable std::mutex mutex_;
    int pos_ = 0;
    std::string text_;
    Colour barColour_ = 0;
    bool lastWasError_ = false;
    int lastDecade_ = -1;
};

// Message boxes become text on stderr; there is nobody to press OK.
class ConsoleMessageBox : public MessageBoxPort {
public:
    void ShowMessageBox(const std::string& text) override;
    int Count() const { return count_; }

private:
    std::atomic<int> count_{0};
};

// Timer 0 of the main view: ticks the device's operation monitor every
// 100 ms on a thread of its own for as long as the object lives.
class MonitorTimer {
public:
    explicit MonitorTimer(CDfuDevice& device);
    ~MonitorTimer();
    MonitorTimer(const MonitorTimer&) = delete;
    MonitorTimer& operator=(const MonitorTimer&) = delete;

private:
    void Run();

    CDfuDevice& device_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};
