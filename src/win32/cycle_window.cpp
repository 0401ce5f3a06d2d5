#include "win32/cycle_window.h"

#include <commdlg.h>
#include <shellapi.h>

#include <filesystem>
#include <functional>
#include <system_error>
#include <utility>
#include <variant>

#include "device/dfu_device.h"
#include "ui/cycle_display.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/shared_settings.h"
#include "update/status_text_display.h"
#include "update/update_engine.h"
#include "win32/dialog_rules.h"
#include "win32/execution_state_inhibitor.h"
#include "win32/history_dialog_runner.h"
#include "win32/message_boxes.h"
#include "win32/template_dialog_runner.h"
#include "win32/ui_thread_calls.h"
#include "win32/wide_text.h"
#include "win32/window_view_port.h"

namespace {

// The file chooser's filter from the resources' "Name (*.a *.b);;Other (*)"
// as the platform takes it: NUL-separated pairs of name and "*.a;*.b".
std::wstring ChooserFilter(const std::string& filter) {
    std::wstring pairs;
    std::string::size_type start = 0;
    while (start <= filter.size()) {
        const auto end = filter.find(";;", start);
        const std::string entry = filter.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const auto open = entry.rfind('(');
        const auto close = entry.rfind(')');
        std::string pattern = open != std::string::npos && close != std::string::npos && close > open
                                  ? entry.substr(open + 1, close - open - 1)
                                  : std::string("*");
        for (char& c : pattern) {
            if (c == ' ')
                c = ';';
        }
        pairs += Wide(entry);
        pairs.push_back(L'\0');
        pairs += Wide(pattern);
        pairs.push_back(L'\0');
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    pairs.push_back(L'\0');
    return pairs;
}

class RequestRelay final : public CycleEventListener {
public:
    explicit RequestRelay(std::function<void(const CycleEvents::Request&)> relay) : relay_(std::move(relay)) {}
    void OnCycleEvent(const CycleEvent& event) override {
        if (const auto* request = std::get_if<CycleEvents::Request>(&event))
            relay_(*request);
    }

private:
    std::function<void(const CycleEvents::Request&)> relay_;
};

}  // namespace

CycleWindow::CycleWindow(CycleWindowParts parts)
    : parts_(std::move(parts)), frame_(parts_.resources, bar_, parts_.picturePath, Commands()) {}

CycleWindow::~CycleWindow() { Shutdown(); }

FrameCommands CycleWindow::Commands() {
    FrameCommands commands;
    commands.language = [this](HWND owner) {
        RunLanguageDialog(owner, parts_.resources, parts_.settings.LanguageIndex,
                          SettingsLanguageChoice(parts_.settings, parts_.resources));
        // The status on show in the language now in force; the frame does its title and menu.
        statusText_.Reresolve(parts_.resources.StringLookup());
    };
    commands.downloadSelection = [this](HWND owner) {
        RunDownloadSettingDialog(owner, parts_.resources, SettingsDownloadSelection(parts_.settings));
    };
    commands.updateFromFile = [this](HWND owner) { ChooseFileToWrite(owner); };
    if (parts_.history != nullptr) {
        commands.history = [this](HWND owner) { RunHistoryDialog(owner, parts_.history->Records(), parts_.resources); };
        commands.restore = [this](HWND owner) { ChooseBackupToRestore(owner); };
    }
    if (!parts_.logFolder.empty())
        commands.openLogFolder = [this](HWND owner) { OpenLogFolder(owner); };
    commands.mayClose = [this](std::function<void()> approved) {
        return engine_ == nullptr || engine_->MayClose(std::move(approved));
    };
    commands.closing = [this] { Shutdown(); };
    return commands;
}

bool CycleWindow::Start(int showCommand, std::string& error) {
    if (!frame_.Create(showCommand)) {
        error = "the main window could not be created";
        return false;
    }
    MainView& view = frame_.View();
    calls_ = std::make_unique<UiThreadCalls>(view.Window());
    view.ServeCalls(calls_.get());
    std::unique_ptr<ViewPort> windowPort =
        std::make_unique<WindowViewPort>(view, frame_.Window(), parts_.resources, *calls_);
    port_ = parts_.viewPort ? parts_.viewPort(std::move(windowPort)) : std::move(windowPort);
    inhibitor_ = std::make_unique<ExecutionStateInhibitor>(*calls_);
    view.ReadStatusFrom([this] { return statusText_.Get(); });
    view.SetTimerHandler([this](int timerId) {
        if (!shutDown_)
            OnViewTimerTick(timerId, parts_.device, *port_, bar_, signals_);
    });

    parts_.device.AttachSignals(&signals_);
    SubscribeListeners(true);
    display_ = std::make_unique<CycleDisplay>(
        parts_.device.Events, bar_, *port_, signals_,
        [this] { return parts_.resources.String(ResourceId::ErrorCaption); },
        [this](int stringId) {
            // What is missing here is the driver, not a permission.
            return parts_.resources.String(stringId == ResourceId::NoUsbPermissionText ? ResourceId::NoUsbDriverText
                                                                                        : stringId);
        });
    statusDisplay_ = std::make_unique<StatusTextDisplay>(parts_.device.Events, statusText_,
                                                         parts_.resources, *port_);

    EngineSetup setup(parts_.device, *port_, signals_, parts_.resources);
    setup.saveSettings = parts_.saveSettings ? parts_.saveSettings : SaveSettingsHook(parts_.settings);
    setup.downloadSizeKb = [this] { return parts_.settings.DownloadSizeKb.load(); };
    setup.serverHost = parts_.serverHost;
    setup.findDevice = [this] { return parts_.device.FindDeviceNow(); };
    setup.history = parts_.history;
    // The engine keeps the log (and, with a history, the record of each cycle) itself.
    setup.logFolder = parts_.logFolder;
    setup.logNotWritable = [this](const std::string& problem) {
        std::string text = parts_.resources.String(ResourceId::LogNotWritableText);
        if (const auto at = text.find("%1"); at != std::string::npos)
            text.replace(at, 2, problem);
        calls_->Post([this, text] { Tell(frame_.Window(), text); });
    };
    setup.sleepInhibitor = inhibitor_.get();
    requestRelay_ = std::make_unique<RequestRelay>([this](const CycleEvents::Request& request) {
        calls_->Post([this, request] { AnswerRequest(request); });
    });
    setup.listeners.push_back(requestRelay_.get());
    engine_ = UpdateEngine::Make(std::move(setup), error);
    if (!engine_)
        return false;
    signals_.StepEvent.Reset();
    signals_.UploadEvent.Reset();
    // Set before the worker runs: afterwards it could undo the worker's own 0.
    signals_.ShowProgress = 1;
    engine_->Start();
    return true;
}

void CycleWindow::SubscribeListeners(bool subscribe) {
    if (subscribe == listening_)
        return;
    for (CycleEventListener* listener : parts_.listeners) {
        if (subscribe)
            parts_.device.Events.Subscribe(*listener);
        else
            parts_.device.Events.Unsubscribe(*listener);
    }
    listening_ = subscribe;
}

void CycleWindow::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    // A caller waiting for the UI thread is released first: from here on its
    // calls return at once instead of waiting for a loop that is ending.
    if (calls_)
        calls_->Shutdown();
    for (const int id : {MonitorTimer, ArrivalTimer, ProgressTimer, RemovalTimer})
        frame_.View().StopTimer(id);
    if (engine_) {
        engine_->StopAndJoin();
        engine_.reset();
    }
    // Only once nothing publishes any more.
    SubscribeListeners(false);
    statusDisplay_.reset();
    display_.reset();
    parts_.device.AttachSignals(nullptr);
    parts_.device.ReleaseOperationResources();
}

void CycleWindow::AnswerRequest(const CycleEvents::Request& request) {
    if (shutDown_ || engine_ == nullptr)
        return;
    const HWND owner = frame_.Window();
    const std::string caption =
        request.caption.empty() ? parts_.resources.String(ResourceId::AppTitle) : request.caption;
    bool yes = false;
    switch (request.kind) {
    case CycleRequestKind::Box: ShowNotice(owner, request.text, caption); break;
    case CycleRequestKind::ErrorBox: ShowNotice(owner, request.text, caption, true); break;
    case CycleRequestKind::YesNo:
    case CycleRequestKind::CloseQuestion:
        yes = AskYesNo(owner, request.text, caption, parts_.resources.String(ResourceId::YesButtonText),
                       parts_.resources.String(ResourceId::NoButtonText));
        break;
    }
    // The window may have ended while the box was open: the stop answered.
    if (!shutDown_ && engine_ != nullptr)
        engine_->Answer(request.id, yes);
}

bool CycleWindow::Finished() const { return engine_ == nullptr || engine_->Finished(); }

void CycleWindow::Tell(HWND owner, const std::string& text) {
    ShowNotice(owner, text, parts_.resources.String(ResourceId::AppTitle));
}

void CycleWindow::ChooseFileToWrite(HWND owner) {
    const std::wstring caption = Wide(parts_.resources.String(ResourceId::ChooseDatabaseFileCaption));
    const std::wstring filter = ChooserFilter(parts_.resources.String(ResourceId::DatabaseFileFilter));
    wchar_t path[MAX_PATH * 4] = {};
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    chooser.lpstrFilter = filter.c_str();
    chooser.lpstrFile = path;
    chooser.nMaxFile = static_cast<DWORD>(std::size(path));
    chooser.lpstrTitle = caption.c_str();
    chooser.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&chooser))
        RequestCycle(owner, CycleRequest{CycleSource::File, Narrow(path), 0});
}

void CycleWindow::OpenLogFolder(HWND owner) {
    // The log may not have written anything yet: the folder is made first.
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(Wide(parts_.logFolder)), error);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(owner, L"open", Wide(parts_.logFolder).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        std::string text = parts_.resources.String(ResourceId::LogFolderNotOpenedText);
        if (const auto at = text.find("%1"); at != std::string::npos)
            text.replace(at, 2, parts_.logFolder);
        Tell(owner, text);
    }
}

void CycleWindow::ChooseBackupToRestore(HWND owner) {
    // The serial of the Orvo the worker identified; empty while none is.
    const std::string serial = parts_.device.DeviceSerial.Get();
    if (serial.empty()) {
        Tell(owner, parts_.resources.String(ResourceId::NoOrvoIdentifiedText));
        return;
    }
    const std::vector<BackupInfo> backups = parts_.history->ListBackups(serial);
    if (backups.empty()) {
        std::string text = parts_.resources.String(ResourceId::NoBackupsText);
        if (const auto at = text.find("%1"); at != std::string::npos)
            text.replace(at, 2, serial);
        Tell(owner, text);
        return;
    }
    const std::int64_t chosen = RunRestoreDialog(owner, serial, backups, parts_.resources);
    if (chosen != 0)
        RequestCycle(owner, CycleRequest{CycleSource::Restore, {}, chosen});
}

void CycleWindow::RequestCycle(HWND owner, const CycleRequest& request) {
    if (engine_ == nullptr)
        return;
    // A cycle that starts now shows itself in the window: a box over it would only hide the write.
    switch (engine_->RequestCycle(request)) {
    case CycleRequestAnswer::Refused: Tell(owner, parts_.resources.String(ResourceId::CycleRequestRefusedText)); break;
    case CycleRequestAnswer::AtConnection:
        Tell(owner, parts_.resources.String(ResourceId::WrittenOnConnectionText));
        break;
    case CycleRequestAnswer::StartsNow: break;
    }
}
