#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include <QFont>
#include <QPointer>
#include <QWidget>

#include "qt/updater_services.h"
#include "ui/view_layout.h"
#include "common/view_port.h"
#include "qt/ui_invoker.h"
#include "ui/cycle_display.h"
#include "common/cycle_signals.h"
#include "update/status_text_display.h"
#include "common/guarded_text.h"

class CDfuDevice;
class CSkinProgressCtrl;
class PictureFile;
class QMessageBox;
class QTimer;
class Resources;

// The only view of the main window: lays out the picture, the status text and
// the progress bar, owns the timers by logical id through which the UI thread
// serves the worker, and starts the worker. The worker reaches it only
// through ViewPort, from its own thread.
class CDFUpdate_tesselView : public QWidget, public ViewPort {
    Q_OBJECT
public:
    static constexpr int ViewWidth = 382;
    static constexpr int ViewHeight = 277;
    // No timer runs faster than this, whatever period a caller asks for: a
    // DownloadSizeKb of 0 must not turn into a busy loop.
    static constexpr int MinimumTimerPeriodMs = 10;
    // Width, in percent, of a stand-in face when Tahoma is not installed.
    static constexpr int SubstituteFontStretch = 85;

    CDFUpdate_tesselView(CDfuDevice& device, CSkinProgressCtrl& progressBar, const UpdaterServices& services,
                         const Resources& resources, QWidget* parent = nullptr);
    ~CDFUpdate_tesselView() override;

    void OnInitialUpdate();
    void OnTimer(int timerId);
    // Stops everything the view started: timers, a DFU operation, a download,
    // an open message box, the worker. Safe to call more than once.
    void OnDestroy();

    // Whether the window may close now (RunningWorker::MayClose): true
    // without a worker.
    bool MayClose(std::function<void()> approved);
    // Hands a request for the next cycle to the running worker; refused when
    // no worker runs.
    CycleRequestAnswer RequestCycle(const CycleRequest& request);

    // ViewPort, callable from any thread.
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void RepaintAll() override;
    void ShowMessageBox(const std::string& text) override;
    void ShowErrorBox(const std::string& text, const std::string& caption) override;
    // Blocks the calling worker until answered; No is the default button and
    // the answer when the window ends first.
    bool AskYesNo(const std::string& text, const std::string& caption) override;

    const MainViewLayout& Layout() const { return layout_; }
    CycleSignals& Signals() { return signals_; }
    // The text under the picture: the cycle's events set it, a language
    // change looks it up again.
    StatusTextHolder& StatusText() { return statusText_; }
    bool IsTimerActive(int id) const;
    int TimerInterval(int id) const;

    // The status font for a text: bold Tahoma (or the closest installed face)
    // whose line height is 19 pixels, 16 for texts over 155 characters.
    static QFont StatusFont(const std::string& statusText);

    // Paints what OnDraw paints, for tests and screenshots.
    void OnDraw(QPainter& painter);
    // The background picture as the view paints it.
    PictureFile& Picture() { return *picture_; }

Q_SIGNALS:
    // Emitted on the worker's thread each time it asks for a repaint after a
    // status change.
    void statusShown(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void StartTimerOnUiThread(int id, int periodMs);
    void StopTimerOnUiThread(int id);
    void ShowBox(int icon, const std::string& text, const std::string& caption);
    void RunMessageBox(int icon, const std::string& text, const std::string& caption);
    bool RunQuestionBox(const std::string& text, const std::string& caption);
    bool RunCloseQuestionBox(const std::string& text, const std::string& caption);
    void SubscribeCycleListeners();
    void UnsubscribeCycleListeners();
    // UI thread: shows what the worker's request asks, then answers it.
    void AnswerRequest(const CycleEvents::Request& request);

    // Hands each of the worker's requests to the UI thread, without waiting.
    class RequestListener final : public CycleEventListener {
    public:
        explicit RequestListener(CDFUpdate_tesselView& view) : view_(view) {}
        void OnCycleEvent(const CycleEvent& event) override;

    private:
        CDFUpdate_tesselView& view_;
    };

    CDfuDevice& device_;
    CSkinProgressCtrl& progressBar_;
    const UpdaterServices& services_;
    const Resources& resources_;
    CycleSignals signals_;
    MainViewLayout layout_;
    int width_ = 0;
    int height_ = 0;
    std::map<int, QTimer*> timers_;
    PictureFile* picture_;
    QPointer<QMessageBox> openMessageBox_;
    // Listeners of the device's events from OnInitialUpdate to OnDestroy.
    std::unique_ptr<CycleDisplay> display_;
    StatusTextHolder statusText_;
    std::unique_ptr<StatusTextDisplay> statusDisplay_;
    std::unique_ptr<RunningWorker> worker_;
    RequestListener requestListener_{*this};
    // The worker's requests, for the boxes the display shows; set before it
    // starts.
    std::atomic<MessageBoxPort*> boxRequests_{nullptr};
    UiInvoker invoker_;
    bool destroyed_ = false;
    bool listenersSubscribed_ = false;
};
