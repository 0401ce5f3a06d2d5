#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/cycle_events.h"
#include "common/cycle_signals.h"
#include "common/guarded_text.h"
#include "database/download_request.h"
#include "update/cycle_request.h"
#include "win32/main_frame.h"
#include "win32/skin_progress_bar.h"

class CDfuDevice;
class CycleDisplay;
class ExecutionStateInhibitor;
class HistoryStore;
class Resources;
class SharedSettings;
class StatusTextDisplay;
class UiThreadCalls;
class UpdateEngine;
class ViewPort;

// What the window is wired to; everything outlives the window.
struct CycleWindowParts {
    CycleWindowParts(CDfuDevice& onDevice, SharedSettings& sharedSettings, Resources& texts)
        : device(onDevice), settings(sharedSettings), resources(texts) {}
    CDfuDevice& device;
    SharedSettings& settings;
    Resources& resources;
    // Where a replaced database is kept and each cycle recorded (by the
    // engine); null: nothing is kept.
    HistoryStore* history = nullptr;
    // The program's own listeners: they hear every event before the
    // window's bar and boxes, so a box never keeps one from them.
    std::vector<CycleEventListener*> listeners;
    // Where the picture is; empty: none.
    std::string picturePath;
    // Where the engine writes its log, which the menu opens.
    std::string logFolder;
    // The update server the engine downloads from.
    std::function<std::string()> serverHost = DefaultServerHost;
    // The worker's settings save; empty: the settings' own.
    std::function<void()> saveSettings;
    // What the engine's requests reach, given the window's own; empty: the
    // window's. An unattended run answers boxes and questions itself.
    std::function<std::unique_ptr<ViewPort>(std::unique_ptr<ViewPort> window)> viewPort;
};

// The main window wired to an update engine: it listens to the engine's
// events (the bar, the status text, the boxes), answers its calls (timers)
// and its requests (boxes, questions) on the UI thread, and runs the menu's
// commands.
class CycleWindow {
public:
    explicit CycleWindow(CycleWindowParts parts);
    ~CycleWindow();
    CycleWindow(const CycleWindow&) = delete;
    CycleWindow& operator=(const CycleWindow&) = delete;

    // Makes the window and starts the engine; false with `error` set when
    // either cannot be.
    bool Start(int showCommand, std::string& error);
    // Ends the engine and everything that listens; idempotent. Runs when the
    // window closes.
    void Shutdown();

    MainFrame& Frame() { return frame_; }
    SkinProgressBar& Bar() { return bar_; }
    // The text under the picture: the cycle's events set it, a language
    // change looks it up again.
    const StatusTextHolder& StatusText() const { return statusText_; }
    bool Finished() const;

private:
    FrameCommands Commands();
    void ChooseFileToWrite(HWND owner);
    void OpenLogFolder(HWND owner);
    void ChooseBackupToRestore(HWND owner);
    void RequestCycle(HWND owner, const CycleRequest& request);
    void Tell(HWND owner, const std::string& text);
    void SubscribeListeners(bool subscribe);
    // UI thread: shows what the engine's request asks, then answers it.
    void AnswerRequest(const CycleEvents::Request& request);

    CycleWindowParts parts_;
    CycleSignals signals_;
    SkinProgressBar bar_;
    MainFrame frame_;
    std::unique_ptr<UiThreadCalls> calls_;
    std::unique_ptr<ViewPort> port_;
    std::unique_ptr<ExecutionStateInhibitor> inhibitor_;
    std::unique_ptr<CycleDisplay> display_;
    StatusTextHolder statusText_;
    std::unique_ptr<StatusTextDisplay> statusDisplay_;
    // Hands each of the engine's requests to the UI thread, without waiting.
    std::unique_ptr<CycleEventListener> requestRelay_;
    std::unique_ptr<UpdateEngine> engine_;
    bool listening_ = false;
    bool shutDown_ = false;
};
