#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>

#include "ui/view_layout.h"

class SkinProgressBar;
class UiThreadCalls;

// The main window's only view: a black surface with the picture in its upper
// part, the status text in white bold Tahoma below it and the progress bar
// at the bottom. The three areas are laid out from the view's size by the
// same fractions as the Qt view. The status text may be set from any
// thread; the repaint happens on the UI thread.
class MainView {
public:
    // 100 % size of the view, which the layout's numbers are made for.
    static constexpr int Width = 382;
    static constexpr int Height = 277;

    // `picturePath`: the picture, read again at every repaint; empty or
    // unreadable leaves the area black.
    MainView(SkinProgressBar& bar, std::string picturePath);
    ~MainView();
    MainView(const MainView&) = delete;
    MainView& operator=(const MainView&) = delete;

    // Creates the view and its bar as children of `parent` at `place`.
    bool Create(HWND parent, const RECT& place);
    // New place (a DPI change): lays the areas out again.
    void Move(const RECT& place);
    HWND Window() const { return window_; }
    MainViewLayout Layout() const;

    void SetStatusText(const std::string& text);
    std::string StatusText() const;
    // The whole view again, background erased.
    void RepaintAll() const;
    // Where the status text comes from at each paint (the engine's status
    // text) in place of SetStatusText's.
    void ReadStatusFrom(std::function<std::string()> source);

    // The view's timers by logical id, on the UI thread; `tick` gets the id.
    // No timer runs faster than every 10 ms, whatever period is asked.
    void SetTimerHandler(std::function<void(int timerId)> tick);
    void StartTimer(int id, int periodMs);
    void StopTimer(int id);
    // Calls from other threads arrive as messages to the view's window.
    void ServeCalls(UiThreadCalls* calls);

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void LayOut(int width, int height);
    void Paint();
    void DrawPicture(HDC dc, const RECT& area) const;
    void DrawStatus(HDC dc, const std::string& text, const RECT& area) const;

    SkinProgressBar& bar_;
    std::string picturePath_;
    HWND window_ = nullptr;
    mutable std::mutex mutex_;  // the status text and the layout
    std::string statusText_;
    std::function<std::string()> statusSource_;
    MainViewLayout layout_;
    std::function<void(int)> timerTick_;
    UiThreadCalls* calls_ = nullptr;
};
