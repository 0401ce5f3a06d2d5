#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "common/progress_bar_port.h"
#include "ui/progress_bar_model.h"

// The main view's progress bar: a child window that paints itself entirely
// from the toolkit-free bar model (filled part, empty part, the text in two
// colours split at the boundary), composed off-screen and copied in one step.
// The worker, the engine's clock and the UI thread all drive it: the model
// sits under a lock, and a change only invalidates the window, which the UI
// thread repaints.
class SkinProgressBar final : public ProgressBarPort {
public:
    static constexpr int ControlId = 10005;

    SkinProgressBar();
    ~SkinProgressBar() override;
    SkinProgressBar(const SkinProgressBar&) = delete;
    SkinProgressBar& operator=(const SkinProgressBar&) = delete;

    // Creates the window as a visible child of `parent` at `place` (client
    // pixels of the parent). Once only.
    bool Create(HWND parent, const RECT& place);
    void Move(const RECT& place);
    HWND Window() const { return window_.load(); }

    int SetPos(int position) override;
    void SetText(const std::string& text) override;
    std::string Text() const override;
    void SetShowText(bool show) override;
    void SetBarColour(Colour colour) override;
    void SetBkColour(Colour colour) override;
    void SetTextColour(Colour colour) override;
    void SetTextBkColour(Colour colour) override;

    int Position() const;
    // Told of each new text, on the thread that set it; set before the bar
    // is driven (an unattended run prints them).
    void WatchText(std::function<void(const std::string&)> watcher) { textWatcher_ = std::move(watcher); }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HWND window);
    int ClientWidth() const;
    void Invalidate() const;

    mutable std::mutex mutex_;
    ProgressBarModel model_;
    std::atomic<HWND> window_{nullptr};
    std::function<void(const std::string&)> textWatcher_;
};
