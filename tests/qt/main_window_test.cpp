#include <gtest/gtest.h>

#include <stdexcept>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <QAbstractButton>
#include <QAction>
#include <QFileDialog>
#include <QTableWidget>
#include <QTest>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include "qt/main_frame.h"
#include "qt/main_view.h"
#include "qt/cycle_keeping.h"
#include "update/sleep_guard.h"
#include "update/system_sleep_inhibitor.h"
#include "qt/picture_file.h"
#include "common/version.h"
#include "device/dfu_device.h"
#include "history/history_store.h"
#include "qt_test_app.h"
#include "ui/resource_ids.h"
#include "ui/resources.h"
#include "ui/status_painting.h"
#include "update/cycle_requests.h"
#include "update/update_state.h"
#include "qt/history_dialogs.h"
#include "qt/skin_progress_ctrl.h"

namespace {

class RecordingWorker : public RunningWorker {
public:
    RecordingWorker(std::atomic<bool>& stopped, std::atomic<bool>& writing, std::atomic<bool>& idleOrvo,
                    std::vector<CycleRequest>& requests, CDfuDevice& device, const Resources& resources)
        : stopped_(stopped), writing_(writing), idleOrvo_(idleOrvo), requests_(requests),
          closeQuestions_(device.Events), resources_(resources) {}
    void StopAndJoin() override {
        stopped_ = true;
        closeQuestions_.Cancel();
    }
    // The engine's own rule, on the engine's own requests.
    bool MayClose(std::function<void()> approved) override {
        return closeQuestions_.MayClose(writing_.load(), resources_.String(ResourceId::ConfirmCloseWhileWriting),
                                        resources_.String(ResourceId::AppTitle), std::move(approved));
    }
    void Answer(std::uint64_t requestId, bool yes) override {
        answers.emplace_back(requestId, yes);
        closeQuestions_.Answer(requestId, yes);
    }
    std::vector<std::pair<std::uint64_t, bool>> answers;  // UI thread only
    // Refused while writing, as the worker refuses a cycle past its identification.
    CycleRequestAnswer RequestCycle(const CycleRequest& request) override {
        requests_.push_back(request);
        if (writing_.load())
            return CycleRequestAnswer::Refused;
        return idleOrvo_.load() ? CycleRequestAnswer::StartsNow : CycleRequestAnswer::AtConnection;
    }

private:
    std::atomic<bool>& stopped_;
    std::atomic<bool>& writing_;
    std::atomic<bool>& idleOrvo_;
    std::vector<CycleRequest>& requests_;
    CycleRequests closeQuestions_;
    const Resources& resources_;
};

// Runs the UI loop until `done` holds or about two seconds have passed.
template <class Condition>
bool SpinUntil(Condition done) {
    for (int i = 0; i < 400 && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(folder_.isValid());
        device_ = std::make_unique<CDfuDevice>(folder_.path().toStdString() + "/orvo-updater");
        services_.startWorker = [this](const UpdaterServices&, CDfuDevice&, ViewPort&, CycleSignals& signals) {
            showProgressAtWorkerStart_ = signals.ShowProgress.load();
            auto worker = std::make_unique<RecordingWorker>(workerStopped_, writing_, idleOrvo_, requests_, *device_,
                                                            resources_);
            worker_ = worker.get();
            return worker;
        };
        services_.timerTick = [this](int id, CDfuDevice&, ViewPort&, ProgressBarPort&, CycleSignals&) {
            if (id != MonitorTimer)
                ticks_.push_back(id);
        };
        services_.runDownloadSelectionDialog = [this](QWidget*) { ++selectionDialogs_; };
    }

    // Runs `command` and, inside its modal dialog, `inside` on the dialog.
    template <class Dialog, class Inside>
    void InDialogOf(int command, Inside inside) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            seen = dialog != nullptr;
            if (dialog != nullptr)
                inside(*dialog);
        });
        EXPECT_TRUE(Frame().OnCommand(command));
        EXPECT_TRUE(seen);
    }

    CMainFrame& Frame() {
        if (!frame_) {
            frame_ = std::make_unique<CMainFrame>(*device_, bar_, services_, resources_);
            frame_->View().OnInitialUpdate();
            frame_->show();
        }
        return *frame_;
    }

    void WritePicture(const QColor& colour) {
        QImage picture(7, 5, QImage::Format_RGB32);
        picture.fill(colour);
        ASSERT_TRUE(picture.save(folder_.path() + "/Tessel.bmp", "BMP"));
    }

    QImage ViewShot() { return Frame().View().grab().toImage(); }

    TestAppFirst app_;
    QTemporaryDir folder_;
    std::unique_ptr<CDfuDevice> device_;
    CSkinProgressCtrl bar_;
    UpdaterServices services_ = WindowServicesWithNothingWired();
    Resources resources_;
    std::unique_ptr<CMainFrame> frame_;
    std::atomic<bool> workerStopped_{false};
    std::atomic<bool> writing_{false};
    std::atomic<bool> idleOrvo_{false};  // an Orvo attached whose cycle has ended
    int showProgressAtWorkerStart_ = -1;
    std::vector<int> ticks_;
    int selectionDialogs_ = 0;
    std::vector<CycleRequest> requests_;
    RecordingWorker* worker_ = nullptr;  // the view's, once started
    std::vector<std::string> told_;
};

std::vector<std::uint8_t> PackedDatabase(std::uint32_t records) {
    std::vector<std::uint8_t> bytes = {0, 0, static_cast<std::uint8_t>(records >> 8),
                                       static_cast<std::uint8_t>(records), 0x01};
    bytes.resize(5 + 14 * records, 0x20);
    return bytes;
}

std::vector<std::string> Column(const QTableWidget& table, int column) {
    std::vector<std::string> texts;
    for (int row = 0; row < table.rowCount(); ++row)
        texts.push_back(table.item(row, column)->text().toStdString());
    return texts;
}

bool IsBlack(const QColor& c) { return c.red() == 0 && c.green() == 0 && c.blue() == 0; }

}  // namespace

// Wiring left out is one clear error when the window is made, never a
// default that does nothing.
TEST_F(MainWindow, AWindowSetUpWithoutItsWiringIsRefusedWithOneError) {
    EXPECT_EQ(MissingWiring(UpdaterServices{}), "the window was set up without a way to load the settings");
    EXPECT_EQ(MissingWiring(services_), "");
    services_.releaseDevice = nullptr;
    try {
        CMainFrame frame(*device_, bar_, services_, resources_);
        ADD_FAILURE() << "made without a way to release the device";
    } catch (const std::invalid_argument& refused) {
        EXPECT_STREQ(refused.what(), "the window was set up without a way to release the device");
    }
}

TEST_F(MainWindow, InitialUpdateLaysOutTheViewAndStartsTheCycle) {
    CDFUpdate_tesselView& view = Frame().View();
    EXPECT_EQ(view.size(), QSize(382, 277));
    EXPECT_EQ(bar_.geometry(), QRect(QPoint(11, 243), QPoint(369, 259)));  // (11,243)-(370,260) exclusive
    EXPECT_EQ(view.Layout().statusRect, (PixelRect{15, 157, 366, 235}));
    EXPECT_EQ(view.Layout().pictureRect, (PixelRect{3, 2, 376, 149}));
    // The engine's clock runs the monitor: the view only draws.
    EXPECT_FALSE(view.IsTimerActive(MonitorTimer));
    // ShowProgress is 1 before the worker runs, never set behind its back.
    EXPECT_EQ(showProgressAtWorkerStart_, 1);
    EXPECT_EQ(bar_.SetPos(0), 0);  // the bar has its window now
}

TEST_F(MainWindow, FrameIsFixedWithTitleAndMenuAndNoBars) {
    CMainFrame& frame = Frame();
    EXPECT_EQ(frame.windowTitle().toStdString(), resources_.String(104) + "(v" + OrvoVersion + ")");
    EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
    EXPECT_FALSE(frame.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(frame.findChildren<QToolBar*>().isEmpty());
    EXPECT_TRUE(frame.findChildren<QStatusBar*>().isEmpty());

    const QList<QAction*> menus = frame.menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text().toStdString(), resources_.Text(ResourceKind::MenuItem, 128, 0));
    QList<QAction*> items = menus[0]->menu()->actions();
    items.removeIf([](const QAction* item) { return item->isSeparator(); });
    const std::vector<int> commands = {32771, 32772, 32782, 32781, 32780, 32783, 57665};
    ASSERT_EQ(items.size(), static_cast<qsizetype>(commands.size()));
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const QAction* item = items[static_cast<qsizetype>(i)];
        EXPECT_EQ(item->text().toStdString(), resources_.Text(ResourceKind::MenuItem, 128, commands[i]));
        EXPECT_EQ(item->data().toInt(), commands[i]);
        EXPECT_TRUE(item->shortcut().isEmpty()) << "shortcut texts are shown, not bound";
    }

    EXPECT_TRUE(frame.OnCommand(CMainFrame::DownloadSelectionCommand));
    EXPECT_EQ(selectionDialogs_, 1);
    items[1]->trigger();
    EXPECT_EQ(selectionDialogs_, 2) << "the menu item runs the download selection";
    EXPECT_FALSE(frame.OnCommand(57600));  // no new document
}

TEST_F(MainWindow, TimersAreKeptByLogicalIdAndNeverRunFasterThan10Ms) {
    CDFUpdate_tesselView& view = Frame().View();
    std::thread worker([&] { view.StartTimer(ProgressTimer, 0); });
    ASSERT_TRUE(SpinUntil([&] { return view.IsTimerActive(ProgressTimer); }));
    worker.join();
    EXPECT_EQ(view.TimerInterval(ProgressTimer), 10);
    ASSERT_TRUE(SpinUntil([&] { return !ticks_.empty(); }));
    EXPECT_EQ(ticks_.front(), ProgressTimer);
    view.StopTimer(ProgressTimer);
    EXPECT_FALSE(view.IsTimerActive(ProgressTimer));
}

TEST_F(MainWindow, MessageBoxFromTheWorkerWaitsUntilDismissed) {
    CDFUpdate_tesselView& view = Frame().View();
    std::atomic<bool> returned{false};
    QString shownText;
    QString shownCaption;
    bool returnedWhileOpen = true;
    // The box runs its own loop inside the UI thread; a timer of that loop dismisses it.
    QTimer dismiss;
    QObject::connect(&dismiss, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text();
            shownCaption = box->windowTitle();
            returnedWhileOpen = returned.load();
            box->accept();
        }
    });
    dismiss.start(20);
    std::thread worker([&] {
        view.ShowErrorBox("DB FILE OPEN ERROR", "Orvo Updater Error");
        returned = true;
    });
    ASSERT_TRUE(SpinUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(shownText, QStringLiteral("DB FILE OPEN ERROR"));
    EXPECT_EQ(shownCaption, QStringLiteral("Orvo Updater Error"));
    EXPECT_FALSE(returnedWhileOpen);
}

TEST_F(MainWindow, QuestionFromTheWorkerDefaultsToNo) {
    CDFUpdate_tesselView& view = Frame().View();
    std::atomic<bool> returned{false};
    bool answer = true;
    QString caption;
    bool noIsDefault = false;
    QTimer answerWithEnter;
    QObject::connect(&answerWithEnter, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            noIsDefault = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    answerWithEnter.start(20);
    std::thread worker([&] {
        answer = view.AskYesNo("Write 4,000 cameras over 20,000?", "");
        returned = true;
    });
    ASSERT_TRUE(SpinUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_FALSE(answer) << "Enter answers No";
    EXPECT_TRUE(noIsDefault);
    EXPECT_EQ(caption.toStdString(), resources_.String(ResourceId::AppTitle));

    // With nobody to ask, the seam answers.
    services_.askYesNo = [](const std::string&) { return true; };
    EXPECT_TRUE(view.AskYesNo("?", ""));
}

// The worker's boxes and questions come as requests: published without
// waiting for the UI thread, shown there, answered by id.
TEST_F(MainWindow, TheWorkersRequestsAreShownOnTheUiThreadAndAnsweredById) {
    Frame();
    ASSERT_NE(worker_, nullptr);
    std::atomic<bool> published{false};
    std::vector<std::pair<std::string, bool>> shown;  // text, published before
    services_.askYesNo = [&](const std::string& text) {
        shown.emplace_back(text, published.load());
        return true;
    };
    services_.messageBox = [&](const std::string& text) { shown.emplace_back(text, published.load()); };
    std::thread publisher([&] {
        device_->Events.Publish(CycleEvents::Request{7, CycleRequestKind::YesNo, "Write it?", ""});
        device_->Events.Publish(CycleEvents::Request{8, CycleRequestKind::ErrorBox, "It failed.", "Error"});
        published = true;
    });
    publisher.join();
    ASSERT_TRUE(SpinUntil([&] { return worker_->answers.size() == 2; }));
    EXPECT_EQ(worker_->answers, (std::vector<std::pair<std::uint64_t, bool>>{{7, true}, {8, false}}));
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, bool>>{{"Write it?", true}, {"It failed.", true}}));
}

TEST_F(MainWindow, HistoryShowsEveryCycleNewestFirst) {
    HistoryStore store(folder_.path().toStdString() + "/history.sqlite", nullptr);
    HistoryRecord older;
    older.startedMs = 1'700'000'000'000;
    older.endedMs = older.startedMs + 60'000;
    older.serial = "A123456";
    older.outcome = CycleOutcome::Failed;
    older.cause = "The download timed out.";
    older.before = {true, true, "01.12.26", 18532};
    HistoryRecord newer = older;
    newer.startedMs += 86'400'000;
    newer.endedMs += 86'400'000;
    newer.source = CycleSource::Restore;
    newer.outcome = CycleOutcome::Succeeded;
    newer.cause.clear();
    newer.after = {true, true, "24.11.26", 1000};
    ASSERT_NE(store.Save(older), 0);
    ASSERT_NE(store.Save(newer), 0);
    services_.history = &store;

    InDialogOf<CHistoryDlg>(CMainFrame::HistoryCommand, [&](CHistoryDlg& dialog) {
        const QTableWidget& table = *dialog.Table();
        EXPECT_EQ(table.rowCount(), 2);
        EXPECT_EQ(Column(table, 3), (std::vector<std::string>{"Succeeded", "Failed"}));
        EXPECT_EQ(Column(table, 2), (std::vector<std::string>{"Restore", "Update server"}));
        EXPECT_EQ(Column(table, 4), (std::vector<std::string>{"18,532 \u2192 1,000", "18,532 \u2192 \u2013"}));
        EXPECT_EQ(Column(table, 5)[0], "01.12.26 \u2192 24.11.26");
        EXPECT_EQ(Column(table, 6)[1], "The download timed out.");
        EXPECT_EQ(dialog.focusWidget(), dialog.Table()) << "the keyboard starts in the table";
        EXPECT_FALSE(dialog.EmptyLabel()->isVisibleTo(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
}

TEST_F(MainWindow, RestoreOffersTheKeptDatabasesOfTheAttachedOrvo) {
    HistoryStore store(folder_.path().toStdString() + "/history.sqlite", nullptr);
    services_.history = &store;
    services_.messageBox = [this](const std::string& text) { told_.push_back(text); };
    EXPECT_TRUE(Frame().OnCommand(CMainFrame::RestoreCommand));
    EXPECT_EQ(told_.back(), resources_.String(ResourceId::NoOrvoIdentifiedText));

    device_->DeviceSerial.Set("A123456");
    EXPECT_TRUE(Frame().OnCommand(CMainFrame::RestoreCommand));
    EXPECT_NE(told_.back().find("A123456"), std::string::npos) << "no backups of this serial yet";

    const std::int64_t first = store.KeepBackup("A123456", {}, PackedDatabase(3), 3, "01.11.26");
    const std::int64_t second = store.KeepBackup("A123456", {}, PackedDatabase(2), 2, "01.12.26");
    ASSERT_NE(store.KeepBackup("B000001", {}, PackedDatabase(1), 1, "05.12.26"), 0);
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    InDialogOf<CRestoreDlg>(CMainFrame::RestoreCommand, [&](CRestoreDlg& dialog) {
        EXPECT_EQ(Column(*dialog.Table(), 0), (std::vector<std::string>{"01.12.26", "01.11.26"}));
        EXPECT_EQ(dialog.ChosenBackupId(), second) << "the newest is chosen at first";
        QTest::keyClick(dialog.Table(), Qt::Key_Down);
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].source, CycleSource::Restore);
    EXPECT_EQ(requests_[0].backupId, first);
    EXPECT_EQ(told_.back(), resources_.String(ResourceId::WrittenOnConnectionText));

    writing_ = true;
    InDialogOf<CRestoreDlg>(CMainFrame::RestoreCommand, [](CRestoreDlg& dialog) { dialog.OkButton()->click(); });
    EXPECT_EQ(told_.back(), resources_.String(ResourceId::CycleRequestRefusedText));
    writing_ = false;
}

TEST_F(MainWindow, UpdateFromAFileAsksTheWorkerForThatFile) {
    services_.messageBox = [this](const std::string& text) { told_.push_back(text); };
    const std::string path = folder_.path().toStdString() + "/cameras.txt";
    std::ofstream(path) << "0,0,0\n";
    InDialogOf<QFileDialog>(CMainFrame::UpdateFromFileCommand, [&](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(path));
        static_cast<QDialog&>(dialog).accept();  // the file dialog's own accept takes the selection
    });
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].source, CycleSource::File);
    EXPECT_EQ(requests_[0].file, path);
    EXPECT_EQ(told_.back(), resources_.String(ResourceId::WrittenOnConnectionText));

    // With the Orvo attached and idle the write starts now, and no box
    // stands over it telling the user to reconnect.
    idleOrvo_ = true;
    const std::size_t toldBefore = told_.size();
    InDialogOf<QFileDialog>(CMainFrame::UpdateFromFileCommand, [&](QFileDialog& dialog) {
        dialog.selectFile(QString::fromStdString(path));
        static_cast<QDialog&>(dialog).accept();
    });
    ASSERT_EQ(requests_.size(), 2u);
    EXPECT_EQ(told_.size(), toldBefore);
}

TEST_F(MainWindow, AnUnusableHistoryIsToldOnceWithItsPathAndTheWindowStillGetsItsKeeping) {
    FileLocations locations = ProgramFolderLocations(folder_.path().toStdString() + "/");
    std::ofstream(locations.historyFile) << "not a database, but long enough to be read as one's header....";
    std::vector<QString> boxes;
    QTimer closeBoxes;
    QObject::connect(&closeBoxes, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back(box->text());
            box->accept();
        }
    });
    closeBoxes.start(10);
    CycleKeeping keeping(locations, resources_);
    keeping.Wire(services_);
    EXPECT_EQ(keeping.History().Records().size(), 0u);
    ASSERT_TRUE(SpinUntil([&] { return !boxes.empty(); }));
    QApplication::processEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].contains(QString::fromStdString(locations.historyFile)));
    EXPECT_EQ(services_.history, &keeping.History());
    EXPECT_EQ(services_.logFolder, locations.logFolder) << "for the engine's log";
    EXPECT_NE(services_.sleepInhibitor, nullptr) << "for the engine's sleep guard";
}

TEST_F(MainWindow, ShutDownReleasesAWorkerWaitingForTheUiThread) {
    CDFUpdate_tesselView& view = Frame().View();
    std::atomic<bool> returned{false};
    // The UI thread does not run its loop here: the hand-over can only end
    // through the shut-down.
    std::thread worker([&] {
        view.StartTimer(ArrivalTimer, 500);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    view.OnDestroy();
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_TRUE(workerStopped_.load());
    EXPECT_FALSE(view.IsTimerActive(MonitorTimer));
    EXPECT_EQ(bar_.SetPos(10), -1);  // the bar's window went with the view
}

// The worker asks, as it asks its other questions; the window shows the
// question modally and closes only on its Yes.
TEST_F(MainWindow, ClosingDuringTheWriteAsksFirstAndClosesOnlyOnYes) {
    CMainFrame& frame = Frame();
    writing_ = true;
    QMessageBox::StandardButton answer = QMessageBox::No;
    std::vector<QString> asked;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        asked.push_back(box->text());
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->button(answer)->click();
    });
    answerer.start(10);

    EXPECT_FALSE(frame.close()) << "not before the answer";
    ASSERT_TRUE(SpinUntil([&] { return worker_->answers.size() == 1; }));
    QApplication::processEvents();
    EXPECT_FALSE(workerStopped_.load());
    EXPECT_TRUE(frame.isVisible());

    answer = QMessageBox::Yes;
    EXPECT_FALSE(frame.close()) << "the Yes closes it afterwards";
    ASSERT_TRUE(SpinUntil([&] { return workerStopped_.load(); }));
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(asked, (std::vector<QString>(2, QString::fromStdString(
                                                  resources_.String(ResourceId::ConfirmCloseWhileWriting)))));
}

TEST_F(MainWindow, ClosingWhileWaitingForTheDeviceDoesNotAsk) {
    CMainFrame& frame = Frame();
    writing_ = false;
    EXPECT_TRUE(frame.close());
    EXPECT_TRUE(workerStopped_.load());
}

TEST_F(MainWindow, PictureIsStretchedIntoItsRectangle) {
    WritePicture(QColor(200, 40, 10));
    const QImage shot = ViewShot();
    const QColor picture(200, 40, 10);
    EXPECT_EQ(shot.pixelColor(3, 2), picture);
    EXPECT_EQ(shot.pixelColor(375, 148), picture);
    EXPECT_EQ(shot.pixelColor(190, 75), picture);
    EXPECT_TRUE(IsBlack(shot.pixelColor(2, 1)));
    EXPECT_TRUE(IsBlack(shot.pixelColor(376, 149)));
}

// Read at the first paint and again only when the file changes, however
// often the window is painted.
TEST_F(MainWindow, PictureIsReadOnceAndAgainWhenItChangesOnDisk) {
    WritePicture(QColor(200, 40, 10));
    EXPECT_EQ(ViewShot().pixelColor(190, 75), QColor(200, 40, 10));
    ViewShot();
    PictureFile& picture = Frame().View().Picture();
    EXPECT_EQ(picture.Reads(), 1);

    WritePicture(QColor(10, 40, 200));
    EXPECT_TRUE(SpinUntil([&] { return ViewShot().pixelColor(190, 75) == QColor(10, 40, 200); }));
    EXPECT_EQ(picture.Reads(), 2);
}

// Stretched smoothly and in the screen's own pixels: a black and white
// picture shows grey where its squares meet, at 1x and at 2x.
TEST_F(MainWindow, PictureIsStretchedSmoothlyAtAnyScale) {
    QImage checks(4, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            checks.setPixelColor(x, y, (x + y) % 2 == 0 ? Qt::white : Qt::black);
    ASSERT_TRUE(checks.save(folder_.path() + "/Tessel.bmp", "BMP"));
    for (const int ratio : {1, 2}) {
        QImage shot(QSize(CDFUpdate_tesselView::ViewWidth, CDFUpdate_tesselView::ViewHeight) * ratio,
                    QImage::Format_RGB32);
        shot.setDevicePixelRatio(ratio);
        Frame().View().render(&shot);
        int greys = 0;
        int blocky = 0;
        // One row across the middle of the upper squares, in device pixels.
        const int y = ratio * 40;
        for (int x = ratio * 3; x < ratio * 376; ++x) {
            const int grey = qGray(shot.pixel(x, y));
            greys += grey > 40 && grey < 215;
            blocky += x % 2 == 1 && shot.pixel(x, y) != shot.pixel(x - 1, y);
        }
        EXPECT_GT(greys, 20) << "ratio " << ratio;
        if (ratio == 2) {
            EXPECT_GT(blocky, 10) << "neighbouring device pixels differ: not a 1x picture enlarged";
        }
    }
}

TEST_F(MainWindow, WithoutAPictureTheWindowIsBlack) {
    const QImage shot = ViewShot();
    for (int y = 0; y < 150; y += 7)
        for (int x = 0; x < 382; x += 7)
            ASSERT_TRUE(IsBlack(shot.pixelColor(x, y))) << x << "," << y;
}

TEST_F(MainWindow, StatusTextIsWhiteAndClippedToItsRectangle) {
    std::string tall;
    for (int i = 0; i < 12; ++i)
        tall += "MMMMMMMMMMMM\n";
    Frame().View().StatusText().Set(tall);
    const QImage shot = ViewShot();
    bool white = false;
    for (int y = 157; y < 235; ++y)
        for (int x = 15; x < 366; ++x)
            white = white || shot.pixelColor(x, y) == QColor(255, 255, 255);
    EXPECT_TRUE(white);
    // Between the status rectangle and the progress bar nothing is drawn.
    for (int y = 235; y < 243; ++y)
        for (int x = 0; x < 382; ++x)
            ASSERT_TRUE(IsBlack(shot.pixelColor(x, y))) << x << "," << y;
}

TEST_F(MainWindow, StatusFontLineHeightSwitchesAt156Characters) {
    const QFont normal = CDFUpdate_tesselView::StatusFont(std::string(155, 'a'));
    const QFont small = CDFUpdate_tesselView::StatusFont(std::string(156, 'a'));
    EXPECT_TRUE(normal.bold());
    EXPECT_LE(QFontMetrics(normal).height(), 19);
    EXPECT_GE(QFontMetrics(normal).height(), 17);
    EXPECT_LE(QFontMetrics(small).height(), 16);
    EXPECT_LT(small.pixelSize(), normal.pixelSize());
}

TEST_F(MainWindow, EnglishStatusLinesFitAtTheFullLineHeight) {
    // Whatever face stands in for Tahoma, the English texts keep the 19-pixel
    // lines without losing either end of their widest line.
    for (const int id : {ResourceId::ConnectDeviceText, ResourceId::CompleteText}) {
        const std::string text = resources_.String(id);
        const QFontMetrics metrics(CDFUpdate_tesselView::StatusFont(text));
        for (const std::string& line : StatusLines(text))
            EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(line)), 351) << line;
    }
}

TEST(ShippedPicture, IsABitmapOfThePictureAreasSize) {
    TestApp();
    const QImage picture(QStringLiteral(ORVO_SOURCE_DIR "/res/Tessel.bmp"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(373, 147));
}

namespace {

class FakeInhibitor : public SleepInhibitorPort {
public:
    explicit FakeInhibitor(bool grants = true) : grants_(grants) {}
    void Hold() override { calls += 'H'; }
    void Release() override { calls += 'R'; }
    // Granted only once held: a guard that asked before holding would read no.
    bool KeepsAwake() const override { return grants_ && !calls.empty() && calls.back() == 'H'; }
    std::string calls;

private:
    bool grants_;
};

CycleEvent Started(CyclePhase phase) { return CycleEvents::PhaseStarted{phase}; }
CycleEvent Ended(CyclePhase phase) { return CycleEvents::PhaseEnded{phase, true, {}}; }

}  // namespace

TEST(SleepGuard, HoldsOnlyWhileTheOrvoIsWrittenAndNotesTheFirstHoldOfEachCycle) {
    using P = CyclePhase;
    CycleEvents::CycleEnded failed;
    failed.outcome = CycleOutcome::Failed;
    CycleEvents::CycleEnded succeeded;
    succeeded.outcome = CycleOutcome::Succeeded;
    const std::string kept = SleepGuard::KeptAwakeNote;
    struct Case {
        const char* name;
        std::vector<CycleEvent> events;
        std::string calls;
        std::vector<std::string> notes;
        bool granted = true;
    };
    const std::vector<Case> cases = {
        {"phases that leave the Orvo alone",
         {Started(P::Identify), Started(P::Download), Ended(P::Download), Started(P::Backup), Ended(P::Backup),
          Started(P::Read), Ended(P::Read)},
         "",
         {}},
        {"a whole write, each phase held, noted once",
         {Started(P::Erase), Ended(P::Erase), Started(P::Write), Started(P::Verify), Ended(P::Write),
          Ended(P::Verify), Started(P::DateStamp), Ended(P::DateStamp), succeeded},
         "HRHRHR",
         {kept}},
        {"a write cut off ends with its cycle; the next cycle is noted again",
         {Started(P::Write), failed, Started(P::Erase), Ended(P::Erase), succeeded},
         "HRHR",
         {kept, kept}},
        {"a system that refuses the hold is noted as such",
         {Started(P::Erase), Ended(P::Erase), succeeded},
         "HR",
         {SleepGuard::NotKeptAwakeNote},
         false},
    };
    for (const Case& c : cases) {
        FakeInhibitor port(c.granted);
        std::vector<std::string> notes;
        SleepGuard guard(port, [&notes](const std::string& line) { notes.push_back(line); });
        for (const CycleEvent& event : c.events)
            guard.OnCycleEvent(event);
        EXPECT_EQ(port.calls, c.calls) << c.name;
        EXPECT_EQ(notes, c.notes) << c.name;
        EXPECT_FALSE(guard.Holding()) << c.name;
    }
    FakeInhibitor port;
    {
        SleepGuard guard(port);
        guard.OnCycleEvent(Started(P::Erase));
        EXPECT_TRUE(guard.Holding());
    }
    EXPECT_EQ(port.calls, "HR") << "the end of the program releases a hold";
}

TEST(SleepGuard, WithoutASystemBusNothingIsHeld) {
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvo-test-bus");
    const std::unique_ptr<SleepInhibitorPort> inhibitor = SystemSleepInhibitor();
    inhibitor->Hold();
    EXPECT_FALSE(inhibitor->KeepsAwake());
    inhibitor->Release();
    EXPECT_FALSE(inhibitor->KeepsAwake());
}
