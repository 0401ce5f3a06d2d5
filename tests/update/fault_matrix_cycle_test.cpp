// Whole update cycles over a virtual Orvo and the simulated update server:
// the real worker, the real engine and the program's device operations, the
// test thread ticking the view's timers as the UI thread does. An Orvo that
// holds an older database and date stamp meets one fault in one phase of the
// cycle; after the failed cycle its flash must be untouched, or hold no date
// stamp and no header, or (a fault between the date's erase and the stamp) a
// whole database without a date. Then the Orvo is reconnected, without a
// restart, and the next cycle must complete the update.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "database/database_conversion.h"
#include "common/cycle_signals.h"
#include "common/view_port.h"
#include "database/dfu_preparation.h"
#include "database/download_request.h"
#include "database_generator.h"
#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_library.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "device/dfu_device.h"
#include "support/recording_events.h"
#include "support/recording_ports.h"
#include "support/scratch_files.h"
#include "support/today.h"
#include "support/transport_rig.h"
#include "ui/resources.h"
#include "update/dfu_device_cycle_operations.h"
#include "update/simulated_view.h"
#include "update/update_engine.h"
#include "history/history_store.h"
#include "update/update_worker.h"
#include "update_server.h"
#include "virtual_orvo.h"
#include "virtual_usb_bus.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kDatabase = DfuPreparation::DatabaseAddress;
constexpr std::uint32_t kDate = DfuPreparation::DateStampAddress;
const std::vector<std::uint8_t> kOldDate{'0', '1', '.', '0', '1', '.', '2', '0', '\r', '\n'};

// The two identifications of a cycle (on arrival, and again before the
// write) read the identity block with one upload each, and the first is
// followed by the reads of the date stamp and the header; the write's own
// uploads come after them.
constexpr unsigned kIdentifyUploads = 4;

enum class Left { Untouched, NoDateNoHeader, OldDatabaseNoDate, NewDatabaseNoDate, Other };

const char* LeftName(Left left) {
    switch (left) {
    case Left::Untouched: return "untouched";
    case Left::NoDateNoHeader: return "no date, no header";
    case Left::OldDatabaseNoDate: return "old database, no date";
    case Left::NewDatabaseNoDate: return "new database, no date";
    case Left::Other: return "a state no failure may leave";
    }
    return "?";
}

enum class Fault { Error, Unplug, Corrupt, BusyForever, NoAnswer, JunkAnswer };

struct CycleFault {
    const char* name;
    Fault fault;
    OrvoRequestKind kind;
    unsigned index;  // counted from the plug, identification included
    Left left;
    CycleErrorKind error = CycleErrorKind::Device;  // what the failed cycle's cause was about
    bool keepsBackups = false;  // the cycle has a history that keeps the database it replaces
};

void PrintTo(const CycleFault& fault, std::ostream* out) { *out << fault.name; }

bool AllErased(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

std::string DatabaseText(std::size_t records, std::uint64_t seed) {
    DatabaseGeneratorOptions options;
    options.records = records;
    options.seed = seed;
    return GenerateDatabaseText(options);
}

// A device busy for ever is given up after this long; far above any sound
// request of the instant virtual Orvo, even under a sanitizer.
DfuEngineSettings CycleEngineSettings() {
    DfuEngineSettings settings = FastEngineSettings();
    settings.busyLimitMs = 2000;
    return settings;
}

class FaultMatrixCycle : public ::testing::TestWithParam<CycleFault> {
protected:
    void SetUp() override {
        // The packed databases, converted as the cycle converts them.
        oldPacked_ = Pack("old", DatabaseText(4500, 7));
        newText_ = DatabaseText(6000, 1);  // two sectors, 42 blocks
        newPacked_ = Pack("new", newText_);
        ASSERT_FALSE(oldPacked_.empty());
        ASSERT_FALSE(newPacked_.empty());

        orvo_ = std::make_shared<VirtualOrvo>();
        orvo_->WriteFlash(kDatabase, oldPacked_);
        orvo_->WriteFlash(kDate, kOldDate);
        before_ = Flash(0, kOrvoDataFlashSize);

        server_ = std::make_unique<SimUpdateServer>(
            UpdateServerOptions{}, [this](const std::string&, std::size_t) {
                return junk_.load() ? JunkAnswer() : newText_;
            });
        ORVO_START_SIMULATED_SERVER(*server_);
        device_.AttachSignals(&signals_);
    }

    void TearDown() override {
        if (worker_) {
            worker_->RequestStop();
            worker_->Join();
        }
        worker_.reset();
        operations_.reset();
        device_.AttachSignals(nullptr);
        device_.ReleaseOperationResources();
        EXPECT_EQ(orvo_->ProtocolViolations(), 0u);
        if (server_)
            server_->Stop();
        bus_.UnplugAll();
    }

    std::vector<std::uint8_t> Pack(const std::string& name, const std::string& text) {
        const std::string base = folder_.File(name);
        std::ofstream(base + ".txt", std::ios::binary) << text;
        EXPECT_TRUE(PrepareDatabase(base, device_.ProgramFolder, device_.Events).Ready());
        return ReadBytes(base + ".bin");
    }

    void StartWorker(bool keepBackups = false) {
        DfuDeviceCycleOperations::Hooks hooks;
        hooks.saveSettings = [] {};
        hooks.serverHost = [this] { return server_ ? server_->HostAndPort() : DefaultServerHost(); };
        hooks.interrupt = [this] {
            device_.StopOperation();
            device_.ShuttingDown = true;
        };
        if (keepBackups)
            hooks.history = &history_;
        operations_ = std::make_unique<DfuDeviceCycleOperations>(device_, std::move(hooks));
        worker_ = std::make_unique<UpdateWorker>(device_, *operations_, view_, signals_, resources_);
        // As the main view starts: the monitor timer, then the worker.
        view_.StartTimer(MonitorTimer, 100);
        signals_.ShowProgress = 1;
        worker_->Start();
    }

    // The UI thread's loop: every armed timer ticks, in real time, until
    // `done` holds or a generous limit has passed.
    bool TickUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            for (const int id : {MonitorTimer, ArrivalTimer, ProgressTimer, RemovalTimer}) {
                if (view_.TimerArmed(id))
                    OnViewTimerTick(id, device_, view_, bar_, signals_);
            }
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // The cycle ended in Failed and waits for the Orvo to go (or, when it is
    // already gone, for the next one).
    bool WaitForFailedCycle() {
        return TickUntil([this] {
            return worker_->LastCycleFailed() && !worker_->IsWritingDevice() &&
                   (view_.TimerArmed(RemovalTimer) || view_.TimerArmed(ArrivalTimer));
        });
    }

    std::vector<std::uint8_t> Flash(std::uint32_t address, std::size_t length) const {
        return orvo_->ReadFlash(address, static_cast<std::uint32_t>(length));
    }
    std::string DateText() const {
        const auto date = Flash(kDate, 10);
        return std::string(date.begin(), date.end());
    }
    bool Holds(const std::vector<std::uint8_t>& database) const {
        return Flash(kDatabase, database.size()) == database;
    }

    Left WhatTheFlashHolds() const {
        if (Flash(0, kOrvoDataFlashSize) == before_)
            return Left::Untouched;
        // Anything but the untouched flash must have lost its date stamp.
        if (!AllErased(Flash(kDate, kOrvoSectorSize)))
            return Left::Other;
        if (Holds(newPacked_))
            return Left::NewDatabaseNoDate;
        if (Holds(oldPacked_))
            return Left::OldDatabaseNoDate;
        if (AllErased(Flash(kDatabase, 5)))
            return Left::NoDateNoHeader;
        return Left::Other;
    }

    void Arm(const CycleFault& fault) {
        switch (fault.fault) {
        case Fault::Error:
            orvo_->FailAt(fault.kind, fault.index, fault.kind == OrvoRequestKind::Erase ? dfu::errERASE : dfu::errPROG);
            break;
        case Fault::Unplug: orvo_->UnplugAt(fault.kind, fault.index); break;
        case Fault::Corrupt: orvo_->CorruptSilentlyAt(fault.index); break;
        case Fault::BusyForever: orvo_->BusyForeverAt(fault.kind, fault.index); break;
        case Fault::NoAnswer: orvo_->NoAnswerFrom(fault.kind, fault.index); break;
        case Fault::JunkAnswer: junk_ = true; break;
        }
    }

    ScratchFolder folder_{"fault_matrix_cycle"};
    VirtualUsbBus bus_;
    DfuProtocolEngine engine_{bus_, CycleEngineSettings()};
    EngineDfuLibrary library_{engine_};
    CDfuDevice device_{folder_.File("orvo-updater"), library_, bus_};
    RecordingEvents events_{device_.Events};
    std::shared_ptr<VirtualOrvo> orvo_;
    std::unique_ptr<SimUpdateServer> server_;
    std::atomic<bool> junk_{false};
    std::string newText_;
    std::vector<std::uint8_t> oldPacked_;
    std::vector<std::uint8_t> newPacked_;
    std::vector<std::uint8_t> before_;

    SimulatedView view_;
    RecordingProgressBar bar_;
    RecordingMessageBox box_;
    CycleSignals signals_;
    // The window's bar and boxes, every box recorded in box_.
    CycleDisplay display_{device_.Events, bar_, box_, signals_};
    Resources resources_;
    HistoryStore history_{folder_.File("history.sqlite"), [](const std::string& text) { ADD_FAILURE() << text; }};
    std::unique_ptr<DfuDeviceCycleOperations> operations_;
    std::unique_ptr<UpdateWorker> worker_;
};

TEST_P(FaultMatrixCycle, LeavesAnAllowedFlashAndAReconnectCompletesTheUpdate) {
    const CycleFault fault = GetParam();
    bus_.Plug(orvo_);
    Arm(fault);
    StartWorker(fault.keepsBackups);

    ASSERT_TRUE(WaitForFailedCycle()) << "the faulty cycle did not end in Failed";
    const Left left = WhatTheFlashHolds();
    EXPECT_EQ(left, fault.left) << "left " << LeftName(left) << ", expected " << LeftName(fault.left);
    EXPECT_NE(left, Left::Other) << "date " << DateText();
    EXPECT_NE(DateText(), TodayStamp()) << "a failed cycle stamped the Orvo";
    EXPECT_FALSE(box_.Messages().empty() && view_.Boxes().empty()) << "the failure was not shown";
    EXPECT_NE(bar_.Text(), "Upgrade successful !");
    // The outcome names the last error the cycle showed, and what it was about.
    const auto failed = events_.Of<CycleEvents::CycleEnded>();
    const auto errors = events_.Of<CycleEvents::Error>();
    ASSERT_EQ(failed.size(), 1u);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(failed[0].outcome, CycleOutcome::Failed);
    EXPECT_EQ(failed[0].cause, errors.back().text);
    EXPECT_EQ(failed[0].causeId, errors.back().textId);
    EXPECT_EQ(failed[0].causeArgs, errors.back().args);
    EXPECT_EQ(errors.back().kind, fault.error) << errors.back().text;
    if (errors.back().text.find("Error Code:") != std::string::npos) {
        EXPECT_NE(errors.back().statusReport.find("DFU Status:"), std::string::npos) << "the report travels with it";
    }

    // Reconnected: the fault is gone, the worker sees the Orvo leave and
    // come back, and runs a fresh cycle.
    orvo_->ClearFaults();
    junk_ = false;
    bus_.UnplugAll();
    ASSERT_TRUE(TickUntil([this] { return view_.TimerArmed(ArrivalTimer); })) << "the unplug was not seen";
    bus_.Plug(orvo_);
    ASSERT_TRUE(TickUntil([this] { return !worker_->LastCycleFailed(); })) << "the retry did not succeed";
    ASSERT_TRUE(TickUntil([this] { return view_.TimerArmed(RemovalTimer); }));

    EXPECT_TRUE(Holds(newPacked_));
    EXPECT_TRUE(AllErased(Flash(kDatabase + static_cast<std::uint32_t>(newPacked_.size()),
                                2 * kOrvoSectorSize - newPacked_.size())))
        << "the old database's tail in the last sector";
    EXPECT_EQ(DateText(), TodayStamp());
    EXPECT_EQ(bar_.Text(), "Upgrade successful !");

    const auto ended = events_.Of<CycleEvents::CycleEnded>();
    ASSERT_EQ(ended.size(), 2u);
    // A database that was whole before the fault is only stamped again.
    EXPECT_EQ(ended[1].outcome, fault.left == Left::NewDatabaseNoDate ? CycleOutcome::AlreadyCurrent
                                                                        : CycleOutcome::Succeeded);
    EXPECT_EQ(ended[1].serial, device_.DeviceSerial.Get());
    EXPECT_EQ(ended[1].bytesDownloaded, newText_.size());
    if (fault.keepsBackups) {
        // The retry kept the database it replaced, with its date stamp.
        const auto kept = history_.ListBackups(device_.DeviceSerial.Get());
        ASSERT_EQ(kept.size(), 1u);
        const auto backup = history_.LoadBackup(kept[0].id);
        ASSERT_TRUE(backup.has_value());
        EXPECT_EQ(backup->database, oldPacked_);
        EXPECT_EQ(backup->dateStamp, kOldDate);
    }
    const auto answers = events_.Of<CycleEvents::DownloadAnswered>();
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(answers.back().httpStatus, 200);
    EXPECT_EQ(answers.back().bytes, newText_.size());
    EXPECT_EQ(answers.back().request.find("z="), std::string::npos) << answers.back().request;
    EXPECT_NE(answers.back().request.find("s=" + device_.DeviceSerial.Get()), std::string::npos);
    // Every step of the write was a phase of its own.
    const auto phases = events_.PhasesStarted();
    for (const CyclePhase phase : {CyclePhase::Compare, CyclePhase::Erase, CyclePhase::Write, CyclePhase::Verify,
                                   CyclePhase::DateStamp})
        EXPECT_NE(std::find(phases.begin(), phases.end(), phase), phases.end()) << PhaseName(phase);
}

// A second Orvo plugged in before the first is pulled: the first is not
// written again, and the second is updated once the first has gone.
using TwoOrvos = FaultMatrixCycle;
TEST_F(TwoOrvos, TheSecondIsUpdatedAfterTheFirstIsPulled) {
    const std::string first = bus_.Plug(orvo_);
    StartWorker();
    ASSERT_TRUE(TickUntil([this] { return bar_.Text() == "Upgrade successful !" && view_.TimerArmed(RemovalTimer); }));

    VirtualOrvoConfig config;
    config.serial = "7654321";
    const auto second = std::make_shared<VirtualOrvo>(config);
    const std::string secondPath = bus_.Plug(second);
    bus_.Unplug(first);
    ASSERT_TRUE(TickUntil([&] {
        return signals_.UnplugPath.Get() != first && view_.TimerArmed(RemovalTimer) && !worker_->IsWritingDevice();
    })) << "the second Orvo was not updated";
    EXPECT_EQ(signals_.UnplugPath.Get(), secondPath);
    EXPECT_TRUE(Holds(newPacked_));
    EXPECT_EQ(DateText(), TodayStamp());
    const auto secondDate = second->ReadFlash(kDate, 10);
    EXPECT_EQ(std::string(secondDate.begin(), secondDate.end()), TodayStamp());
    EXPECT_EQ(second->ReadFlash(kDatabase, static_cast<std::uint32_t>(newPacked_.size())), newPacked_);
}

// Requests of the cycle on a plugged Orvo: the identifications and what the
// Orvo holds read one block each (Upload 0..3); the write reads one block
// to compare (Upload 4), erases the date's sector and the database's two (Erase 0, 1, 2), writes
// blocks 2..42 (Program 0..40), reads them back (Upload 5..45), writes and
// reads back the header block (Program 41, Upload 46); the date stamp erases
// its sector (Erase 3) and writes the date (Program 42).
constexpr unsigned U = kIdentifyUploads;
INSTANTIATE_TEST_SUITE_P(
    Phases, FaultMatrixCycle,
    ::testing::Values(
        CycleFault{"DateEraseError", Fault::Error, OrvoRequestKind::Erase, 0, Left::Untouched},
        CycleFault{"DatabaseEraseUnplug", Fault::Unplug, OrvoRequestKind::Erase, 1, Left::OldDatabaseNoDate},
        CycleFault{"DatabaseEraseError", Fault::Error, OrvoRequestKind::Erase, 2, Left::NoDateNoHeader},
        CycleFault{"WriteError", Fault::Error, OrvoRequestKind::Program, 0, Left::NoDateNoHeader},
        CycleFault{"WriteUnplug", Fault::Unplug, OrvoRequestKind::Program, 20, Left::NoDateNoHeader},
        CycleFault{"ReadBackError", Fault::Error, OrvoRequestKind::Upload, U + 1, Left::NoDateNoHeader},
        CycleFault{"ReadBackUnplug", Fault::Unplug, OrvoRequestKind::Upload, U + 30, Left::NoDateNoHeader},
        CycleFault{"HeaderWriteError", Fault::Error, OrvoRequestKind::Program, 41, Left::NoDateNoHeader},
        CycleFault{"DateStampEraseError", Fault::Error, OrvoRequestKind::Erase, 3, Left::NewDatabaseNoDate},
        CycleFault{"DateStampUnplug", Fault::Unplug, OrvoRequestKind::Program, 42, Left::NewDatabaseNoDate},
        CycleFault{"SilentCorruption", Fault::Corrupt, OrvoRequestKind::Program, 5, Left::NoDateNoHeader,
                   CycleErrorKind::Verify},
        CycleFault{"BusyForever", Fault::BusyForever, OrvoRequestKind::Program, 10, Left::NoDateNoHeader},
        CycleFault{"NoAnswerInReadBack", Fault::NoAnswer, OrvoRequestKind::Upload, U + 20, Left::NoDateNoHeader},
        // With a history: the backup's first read (the date stamp) fails
        // after the compare, before anything is erased.
        CycleFault{"BackupReadError", Fault::Error, OrvoRequestKind::Upload, U + 1, Left::Untouched,
                   CycleErrorKind::Device, true},
        CycleFault{"JunkServerAnswer", Fault::JunkAnswer, OrvoRequestKind::Program, 0, Left::Untouched,
                   CycleErrorKind::Conversion}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
