#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "device/dfu_device.h"
#include "support/recording_ports.h"
#include "support/scratch_files.h"
#include "common/cycle_signals.h"

// A device whose events the window's display draws on recording ports, and a worker thread whose operation the
// test thread monitors the way the view's timer 0 does. A fixture that builds
// the device on libraries of its own holds them in a base listed before this
// one, so that they outlive the device.
class OperationFixture : public ::testing::Test {
protected:
    explicit OperationFixture(DfuLibrary& library = VendorDfuLibrary(), UsbBackend& backend = DefaultUsbBackend())
        : folder("device_operations"), device(folder.File("orvo-updater"), library, backend) {
        device.AttachSignals(&signals);
        device.DevicePath.Set("USB\\VID_1209&PID_D0F0\\BUS_001&PORT_1");
        signals.ShowProgress = 1;
    }

    // Runs `operation` on a worker thread and ticks the monitor until the
    // worker is released; a worker still waiting after a few seconds fails the
    // test (and is freed so the test can end). Returns the operation's result.
    bool RunMonitored(const std::function<bool()>& operation) { return RunMonitored(device, operation); }

    // The same for another device whose UI ports are this fixture's.
    bool RunMonitored(CDfuDevice& monitored, const std::function<bool()>& operation) {
        std::atomic<bool> finished{false};
        bool result = false;
        std::thread worker([&] {
            result = operation();
            finished = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!finished && std::chrono::steady_clock::now() < deadline) {
            monitored.MonitorOperation();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!finished) {
            ADD_FAILURE() << "the worker was never released";
            signals.StepEvent.Set();
            signals.UploadEvent.Set();
        }
        worker.join();
        return result;
    }

    // Starts `operation` on a worker and returns once it has published its
    // operation (or has already returned), so the test can tick by hand.
    std::thread StartWorker(const std::function<bool()>& operation, std::atomic<bool>& finished, bool& result) {
        std::thread worker([&finished, &result, operation] {
            result = operation();
            finished = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!finished && device.OperationHandle.load() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return worker;
    }

    // Lets a released worker run to its end; true if it got there.
    static bool Settles(const std::atomic<bool>& finished) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!finished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return finished;
    }

    ScratchFolder folder;  // the program folder: working files go here
    RecordingProgressBar bar;
    RecordingMessageBox box;
    CycleSignals signals;
    CDfuDevice device;
    CycleDisplay display{device.Events, bar, box, signals};
};
