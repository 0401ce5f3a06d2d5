#pragma once

#include <windows.h>

#include <string>
#include <vector>

class DemoBench;

// The demo's bench beside the updater's window: plugs and unplugs virtual
// Orvos by serial and picks the fault the next cycle meets, as the Linux
// demo's bench window does.
class BenchWindow {
public:
    static constexpr const wchar_t* ClassName = L"OrvoDemoBench";

    BenchWindow(DemoBench& bench, std::string serial);
    ~BenchWindow();
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    // Shows it to the right of `beside` (else to its left).
    bool Create(HWND beside);
    HWND Window() const { return window_; }
    // The list again from the bench (an Orvo may leave by itself); keeps the
    // selection when nothing changed.
    void Refresh();
    // Lets the dialog keys (Tab) work; true when `message` was taken.
    bool TakesMessage(MSG& message) const;

private:
    enum Control : int { SerialEdit = 101, PlugButton, PluggedList, UnplugButton, FaultBox, Note };

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void MakeControls();
    void PlugClicked();
    void UnplugClicked();
    void FaultChosen();
    void Say(const std::string& text);
    HWND Control(int id) const { return GetDlgItem(window_, id); }

    DemoBench& bench_;
    std::string serial_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    std::vector<std::string> shown_;
};
