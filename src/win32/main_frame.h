#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/resource_ids.h"
#include "win32/main_view.h"

class Resources;
class SkinProgressBar;

// What the frame's commands do. Each takes the frame's window as the owner
// of whatever it opens; an empty one makes its command do nothing.
struct FrameCommands {
    std::function<void(HWND owner)> language;
    std::function<void(HWND owner)> downloadSelection;
    std::function<void(HWND owner)> updateFromFile;
    std::function<void(HWND owner)> restore;
    std::function<void(HWND owner)> history;
    std::function<void(HWND owner)> openLogFolder;
    // Whether the window may close now; false while the user is asked first
    // (the Orvo is being written), and then `approved` runs on the UI thread
    // once the answer is Yes. Empty: it always may.
    std::function<bool(std::function<void()> approved)> mayClose;
    // The view is about to go: stop whatever still paints into it.
    std::function<void()> closing;
};

// The fixed-size main window: a caption with close only, menu 128 and the
// view. Its texts come from the resources in force and follow a language
// change at once.
class MainFrame {
public:
    static constexpr const wchar_t* ClassName = L"OrvoUpdaterFrame";

    MainFrame(const Resources& resources, SkinProgressBar& bar, std::string picturePath, FrameCommands commands);
    ~MainFrame();
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;

    bool Create(int showCommand);
    HWND Window() const { return window_; }
    MainView& View() { return view_; }

    // String 104 directly followed by "(v" + version + ")".
    std::string TitleText() const;
    // Runs a command by its id, as its menu item does; false for an id the
    // frame does not answer.
    bool OnCommand(int commandId);
    // Title and menu again from the resources in force, the view repainted.
    void ShowInLanguageInForce();

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HMENU BuildMenu() const;
    bool Answers(int commandId) const;
    void FitToDpi(UINT dpi, const RECT* suggested);
    void Close();

    const Resources& resources_;
    std::string picturePath_;
    FrameCommands commands_;
    MainView view_;
    HWND window_ = nullptr;
    // The user said Yes to closing during the write.
    bool closeApproved_ = false;
};
