// Runs under wine on a virtual display (or on Windows): builds the main
// frame with its view and bar, shows a cycle's states as the engine's
// listeners would, saves each picture beside the given folder and checks
// what was drawn. Exit 0 when every check holds.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "common/version.h"
#include "ui/bar_colours.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "win32/gdi_objects.h"
#include "ui/language_module_abi.h"
#include "win32/execution_state_inhibitor.h"
#include "win32/main_frame.h"
#include "win32/skin_progress_bar.h"
#include "win32/ui_thread_calls.h"
#include "win32/wide_text.h"
#include "win32/window_picture.h"
#include "win32/window_view_port.h"

namespace {

int failures = 0;

void Check(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++failures;
    }
}

void DrawNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int CountPixels(const WindowPicture& picture, const RECT& area, Colour colour) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            count += picture.Pixel(x, y) == colour ? 1 : 0;
    return count;
}

RECT BarRect(const MainViewLayout& layout) {
    return RECT{layout.progressBar.left, layout.progressBar.top, layout.progressBar.right, layout.progressBar.bottom};
}

std::string Hex(Colour colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(colour));
    return text;
}

// A language library as the program loads it, by its full path.
class LibrarySource : public ResourceSource {
public:
    explicit LibrarySource(const std::string& path) {
        const HMODULE module = LoadLibraryW(Wide(path).c_str());
        if (module != nullptr)
            find_ = reinterpret_cast<OrvoFindResourceFunction>(
                reinterpret_cast<void*>(GetProcAddress(module, ORVO_LANGUAGE_ENTRY_POINT)));
    }
    bool Loaded() const { return find_ != nullptr; }
    std::optional<std::string> Find(ResourceKind kind, int id, int item) const override {
        const char* data = nullptr;
        size_t size = 0;
        if (find_ == nullptr || find_(static_cast<int>(kind), id, item, &data, &size) != 1 || data == nullptr)
            return std::nullopt;
        return std::string(data, size);
    }

private:
    OrvoFindResourceFunction find_ = nullptr;
};

std::function<void()> actWhenBoxUp;

void CALLBACK ActOnBox(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND box = GetActiveWindow();
    if (!actWhenBoxUp || box == nullptr || (GetDlgItem(box, IDOK) == nullptr && GetDlgItem(box, IDYES) == nullptr))
        return;
    KillTimer(nullptr, timer);
    auto act = std::move(actWhenBoxUp);
    actWhenBoxUp = nullptr;
    act();
}

std::string MenuTitle(HWND window) {
    wchar_t text[128] = {};
    GetMenuStringW(GetMenu(window), 0, text, 128, MF_BYPOSITION);
    return Narrow(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const std::string folder = argc > 1 ? Narrow(argv[1]) + "\\" : std::string();
    const std::string picture = argc > 2 ? Narrow(argv[2]) : std::string();
    // A language library to switch to once the window is up, as the Language command does.
    const std::string language = argc > 3 ? Narrow(argv[3]) : std::string();

    Resources resources;
    SkinProgressBar bar;
    MainFrame frame(resources, bar, picture, FrameCommands{});
    if (!frame.Create(SW_SHOWNORMAL)) {
        std::fprintf(stderr, "FAILED: the main frame could not be created\n");
        return 1;
    }
    const HWND window = frame.Window();
    const UINT dpi = DpiOf(window);
    std::printf("dpi %u\n", dpi);

    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    Check(Narrow(title) == std::string("Orvo software configuration(v") + OrvoVersion + ")",
          "title is \"" + Narrow(title) + "\"");
    RECT client{};
    GetClientRect(frame.View().Window(), &client);
    Check(client.right == Scaled(MainView::Width, dpi) && client.bottom == Scaled(MainView::Height, dpi),
          "view is " + std::to_string(client.right) + " x " + std::to_string(client.bottom));
    RECT frameClient{};
    GetClientRect(window, &frameClient);
    Check(frameClient.right == client.right && frameClient.bottom == client.bottom, "the view fills the frame");

    Check(MenuTitle(window) == "&Menu", "the menu is \"" + MenuTitle(window) + "\"");
    if (!language.empty()) {
        auto library = std::make_shared<LibrarySource>(language);
        Check(library->Loaded(), "the language library " + language + " loads");
        resources.Switch(library);
        frame.ShowInLanguageInForce();
        const std::string expected = resources.String(ResourceId::FrameTitle) + "(v" + OrvoVersion + ")";
        GetWindowTextW(window, title, 256);
        Check(Narrow(title) == expected && expected.rfind("Orvo software configuration", 0) != 0,
              "the title follows the language at once: \"" + Narrow(title) + "\"");
        Check(MenuTitle(window) == resources.Text(ResourceKind::MenuItem, ResourceId::MainMenu, ResourceId::MenuPopup),
              "the menu follows the language at once: \"" + MenuTitle(window) + "\"");
    }

    const MainViewLayout layout = frame.View().Layout();
    const RECT barRect = BarRect(layout);
    const int barWidth = barRect.right - barRect.left;
    const RECT statusRect{layout.statusRect.left, layout.statusRect.top, layout.statusRect.right,
                          layout.statusRect.bottom};
    const Colour white = Rgb(255, 255, 255);

    // Waiting for an Orvo.
    frame.View().SetStatusText(resources.String(ResourceId::ConnectDeviceText));
    DrawNow(window);
    WindowPicture shot = WindowPicture::Capture(frame.View().Window(), false);
    Check(CountPixels(shot, statusRect, white) > 50, "the waiting text is drawn in white");
    if (!picture.empty()) {
        const RECT pictureRect{layout.pictureRect.left, layout.pictureRect.top, layout.pictureRect.right,
                               layout.pictureRect.bottom};
        const int area = (pictureRect.right - pictureRect.left) * (pictureRect.bottom - pictureRect.top);
        Check(CountPixels(shot, pictureRect, Rgb(0, 0, 0)) < area / 2, "the picture fills its area");
    }
    WindowPicture::Capture(window, true).SaveBmp(folder + "waiting.bmp");

    // Writing, 43 % in green.
    frame.View().SetStatusText(resources.String(ResourceId::SerialPrefixText) + "0012345\n" +
                               resources.String(ResourceId::WritingText));
    BarColours::Apply(bar, BarColours::Write);
    bar.SetShowText(true);
    bar.SetText("43%");
    bar.SetPos(43);
    DrawNow(window);
    shot = WindowPicture::Capture(frame.View().Window(), false);
    const int split = barRect.left + barWidth * 43 / 100;
    Check(shot.Pixel(barRect.left + 2, barRect.top + 1) == BarColours::Write,
          "the filled part is green, not " + Hex(shot.Pixel(barRect.left + 2, barRect.top + 1)));
    Check(shot.Pixel(split - 1, barRect.top + 1) == BarColours::Write, "green up to 43 %");
    Check(shot.Pixel(split + 1, barRect.top + 1) == white, "white beyond 43 %");
    Check(CountPixels(shot, RECT{split, barRect.top, barRect.right, barRect.bottom}, BarColours::Write) > 10,
          "the text over the empty part is green");
    WindowPicture::Capture(window, true).SaveBmp(folder + "during-write.bmp");

    // Done: the success text on the full green bar.
    frame.View().SetStatusText(resources.String(ResourceId::CompleteText));
    bar.SetText(resources.String(ResourceId::UpgradeSuccessfulText));
    bar.SetPos(100);
    DrawNow(window);
    shot = WindowPicture::Capture(frame.View().Window(), false);
    Check(shot.Pixel(barRect.right - 2, barRect.top + 1) == BarColours::Write, "the bar is full and green");
    Check(CountPixels(shot, barRect, white) > 20, "the success text is white over the full bar");
    Check(CountPixels(shot, statusRect, white) > 50, "the completion text is drawn");
    WindowPicture::Capture(window, true).SaveBmp(folder + "upgrade-successful.bmp");

    // Alt+M opens the menu by its mnemonic.
    static bool menuOpened = false;
    SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        const HWND popup = FindWindowW(L"#32768", nullptr);
        menuOpened = popup != nullptr && IsWindowVisible(popup);
        EndMenu();
    });
    PostMessageW(window, WM_SYSCHAR, 'm', 1 << 29);
    const DWORD menuDeadline = GetTickCount() + 5000;
    while (!menuOpened && GetTickCount() < menuDeadline) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
    Check(menuOpened, "Alt+M opens the menu");

    // The engine's side, from a thread of its own: a timer, a question the
    // user answers Yes, a box that holds its caller until the window shuts down.
    UiThreadCalls calls(frame.View().Window());
    frame.View().ServeCalls(&calls);
    WindowViewPort port(frame.View(), window, resources, calls);
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<int> ticks{0};
    std::atomic<bool> ticksOnUiThread{true};
    frame.View().SetTimerHandler([&](int id) {
        if (id != ProgressTimer)
            return;
        ++ticks;
        if (GetCurrentThreadId() != uiThread)
            ticksOnUiThread = false;
    });
    ExecutionStateInhibitor inhibitor(calls);
    std::atomic<int> answer{-1};
    std::atomic<bool> released{false};
    std::thread worker([&] {
        inhibitor.Hold();  // the write begins on the worker's thread
        port.StartTimer(ProgressTimer, 20);
        Sleep(200);
        answer = port.AskYesNo("Weiter?", "DFUpdate_tessel") ? 1 : 0;
        port.StopTimer(ProgressTimer);
        port.ShowMessageBox("Held until the window shuts down");
        released = true;
    });
    actWhenBoxUp = [&] {
        // The hold is the UI thread's, where it outlives the worker's calls.
        const EXECUTION_STATE held = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        Check((held & ES_SYSTEM_REQUIRED) != 0 && (held & ES_CONTINUOUS) != 0, "sleep is held off during the write");
        Check(inhibitor.KeepsAwake(), "the hold says it was granted");
        SendDlgItemMessageW(GetActiveWindow(), IDYES, BM_CLICK, 0, 0);
        actWhenBoxUp = [&] {
            const HWND box = GetActiveWindow();
            calls.Shutdown();
            for (int i = 0; i < 100 && !released; ++i)
                Sleep(20);
            Check(released, "the shut-down releases a caller held by a box");
            SendDlgItemMessageW(box, IDOK, BM_CLICK, 0, 0);
        };
        SetTimer(nullptr, 0, 100, ActOnBox);
    };
    SetTimer(nullptr, 0, 100, ActOnBox);
    const DWORD deadline = GetTickCount() + 30000;
    while (!released && GetTickCount() < deadline) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
    Check(released, "the worker's calls all returned");
    if (released)
        worker.join();
    else
        worker.detach();
    Check(answer == 1, "the worker got the user's Yes");
    Check(ticks > 0 && ticksOnUiThread, "the worker's timer ticked on the UI thread");
    Check(!calls.RunAndWait([] {}), "after the shut-down nothing more runs");

    DestroyWindow(window);
    std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks failed");
    return failures == 0 ? 0 : 1;
}
