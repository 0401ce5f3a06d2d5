#include "win32/main_frame.h"

#include "common/version.h"
#include "ui/resources.h"
#include "win32/gdi_objects.h"
#include "win32/wide_text.h"
#include "win32/window_class.h"

namespace {

// A caption with close only: no resizing border, no minimise or maximise box.
constexpr DWORD FrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

// The menu's items in order; 0 stands for a separator. The texts after the
// tab are shown as the shortcut but deliberately not bound: a bound Ctrl+X
// would quit in the middle of a write.
constexpr int MenuCommands[] = {ResourceId::LanguageCommand,
                                ResourceId::DownloadSettingsCommand,
                                0,
                                ResourceId::UpdateFromFileCommand,
                                ResourceId::RestoreCommand,
                                ResourceId::HistoryCommand,
                                ResourceId::OpenLogFolderCommand,
                                0,
                                ResourceId::ExitCommand};

}  // namespace

MainFrame::MainFrame(const Resources& resources, SkinProgressBar& bar, std::string picturePath,
                     FrameCommands commands)
    : resources_(resources), commands_(std::move(commands)), view_(bar, std::move(picturePath)) {}

MainFrame::~MainFrame() {
    if (window_ != nullptr && IsWindow(window_)) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

std::string MainFrame::TitleText() const {
    return resources_.String(ResourceId::FrameTitle) + "(v" + OrvoVersion + ")";
}

HMENU MainFrame::BuildMenu() const {
    const auto text = [this](int item) {
        return Wide(resources_.Text(ResourceKind::MenuItem, ResourceId::MainMenu, item));
    };
    const HMENU popup = CreatePopupMenu();
    // A command nothing answers is left out rather than shown doing nothing;
    // a separator shows only between items.
    bool separatorDue = false;
    bool anyItem = false;
    for (const int command : MenuCommands) {
        if (command == 0) {
            separatorDue = anyItem;
            continue;
        }
        if (!Answers(command))
            continue;
        if (separatorDue)
            AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        separatorDue = false;
        anyItem = true;
        AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(command), text(command).c_str());
    }
    const HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), text(ResourceId::MenuPopup).c_str());
    return bar;
}

bool MainFrame::Create(int showCommand) {
    static const bool registered =
        RegisterWindowClass(ClassName, &MainFrame::WindowProcedure, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)),
                            LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)));
    if (!registered || window_ != nullptr)
        return false;
    window_ = CreateWindowExW(0, ClassName, Wide(TitleText()).c_str(), FrameStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              MainView::Width, MainView::Height, nullptr, BuildMenu(), GetModuleHandleW(nullptr),
                              this);
    if (window_ == nullptr)
        return false;
    const UINT dpi = DpiOf(window_);
    const RECT viewPlace{0, 0, Scaled(MainView::Width, dpi), Scaled(MainView::Height, dpi)};
    if (!view_.Create(window_, viewPlace))
        return false;
    FitToDpi(dpi, nullptr);
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    return true;
}

// The view keeps 382 x 277 at 100 %, so the layout's numbers hold at every scale.
void MainFrame::FitToDpi(UINT dpi, const RECT* suggested) {
    const int width = Scaled(MainView::Width, dpi);
    const int height = Scaled(MainView::Height, dpi);
    RECT outer{0, 0, width, height};
    AdjustWindowRectExForDpi(&outer, FrameStyle, TRUE, 0, dpi);
    RECT place{};
    GetWindowRect(window_, &place);
    if (suggested != nullptr)
        place = *suggested;
    SetWindowPos(window_, nullptr, place.left, place.top, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The menu may take more room at a new scale: the client area decides.
    RECT client{};
    GetClientRect(window_, &client);
    if (client.bottom != height) {
        outer.bottom += height - client.bottom;
        SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
    view_.Move(RECT{0, 0, width, height});
}

void MainFrame::ShowInLanguageInForce() {
    SetWindowTextW(window_, Wide(TitleText()).c_str());
    const HMENU previous = GetMenu(window_);
    SetMenu(window_, BuildMenu());
    if (previous != nullptr)
        DestroyMenu(previous);
    DrawMenuBar(window_);
    view_.RepaintAll();
}

bool MainFrame::Answers(int commandId) const {
    switch (commandId) {
    case ResourceId::LanguageCommand: return static_cast<bool>(commands_.language);
    case ResourceId::DownloadSettingsCommand: return static_cast<bool>(commands_.downloadSelection);
    case ResourceId::UpdateFromFileCommand: return static_cast<bool>(commands_.updateFromFile);
    case ResourceId::RestoreCommand: return static_cast<bool>(commands_.restore);
    case ResourceId::HistoryCommand: return static_cast<bool>(commands_.history);
    case ResourceId::OpenLogFolderCommand: return static_cast<bool>(commands_.openLogFolder);
    case ResourceId::ExitCommand: return true;
    default: return false;
    }
}

bool MainFrame::OnCommand(int commandId) {
    const auto run = [this](const std::function<void(HWND)>& command) {
        if (command)
            command(window_);
    };
    switch (commandId) {
    case ResourceId::LanguageCommand:
        run(commands_.language);
        // Whichever way the dialog closed, the window shows the language in force.
        ShowInLanguageInForce();
        return true;
    case ResourceId::DownloadSettingsCommand: run(commands_.downloadSelection); return true;
    case ResourceId::UpdateFromFileCommand: run(commands_.updateFromFile); return true;
    case ResourceId::RestoreCommand: run(commands_.restore); return true;
    case ResourceId::HistoryCommand: run(commands_.history); return true;
    case ResourceId::OpenLogFolderCommand: run(commands_.openLogFolder); return true;
    case ResourceId::ExitCommand: PostMessageW(window_, WM_CLOSE, 0, 0); return true;
    default: return false;
    }
}

// While the Orvo is written the engine asks first; its Yes closes again.
void MainFrame::Close() {
    const auto approved = [this] {
        closeApproved_ = true;
        PostMessageW(window_, WM_CLOSE, 0, 0);
    };
    if (!closeApproved_ && commands_.mayClose && !commands_.mayClose(approved))
        return;
    if (commands_.closing)
        commands_.closing();
    DestroyWindow(window_);
}

LRESULT CALLBACK MainFrame::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* frame = static_cast<MainFrame*>(create->lpCreateParams);
        frame->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
    }
    auto* frame = reinterpret_cast<MainFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (frame == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return frame->Handle(window, message, wParam, lParam);
}

LRESULT MainFrame::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && OnCommand(LOWORD(wParam)))
            return 0;
        break;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_DPICHANGED:
        FitToDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        window_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
