#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "virtual_usb_device.h"

// A minimal DFU-mode device for exercising a bus: it answers GETSTATUS,
// GETSTATE, DNLOAD (kept), UPLOAD (gives the kept bytes back), CLRSTATUS and
// ABORT, and can stall, stay silent or vanish on request. Thread-safe: the
// bus calls it from its own threads.
class TinyDfuDevice : public VirtualUsbDevice {
public:
    static constexpr std::uint16_t kVendorId = 0x1209;
    static constexpr std::uint16_t kProductId = 0x7A70;
    static constexpr std::uint16_t kTransferSize = 1024;

    enum class Fault { None, Stall, Silent, Vanish };

    struct Options {
        std::optional<std::string> product = "Tiny DFU";
        std::uint8_t interfaceClass = 0xFE;  // 0xFF: not a DFU device at all
        std::uint8_t interfaceNumber = 0;
        std::uint16_t productId = kProductId;
    };

    TinyDfuDevice() : TinyDfuDevice(Options{}) {}
    explicit TinyDfuDevice(Options options) : options_(std::move(options)) {}

    // The next request with this bRequest (any when nullopt) meets `fault`.
    void InjectFault(Fault fault, std::optional<std::uint8_t> request = std::nullopt) {
        std::lock_guard lock(mutex_);
        fault_ = fault;
        faultRequest_ = request;
    }

    std::uint8_t AlternateSetting() const {
        std::lock_guard lock(mutex_);
        return alternate_;
    }

    std::vector<std::uint8_t> DeviceDescriptor() const override {
        return {18,   1,    0x00, 0x02, 0,    0,    0,    64,
                Lo(kVendorId), Hi(kVendorId), Lo(options_.productId), Hi(options_.productId),
                0x00, 0x02, 1,    2,    3,    1};
    }

    std::vector<std::uint8_t> ConfigurationDescriptor() const override {
        std::vector<std::uint8_t> config{9, 2, 0, 0, 1, 1, 0, 0x80, 50};
        for (std::uint8_t alt = 0; alt < 2; ++alt) {
            const std::vector<std::uint8_t> interface{
                9, 4, options_.interfaceNumber, alt, 0, options_.interfaceClass, 0x01, 0x02,
                static_cast<std::uint8_t>(4 + alt)};
            config.insert(config.end(), interface.begin(), interface.end());
        }
        const std::vector<std::uint8_t> functional{9, 0x21, 0x0B, 0xFF, 0x00, Lo(kTransferSize), Hi(kTransferSize),
                                                   0x1A, 0x01};
        config.insert(config.end(), functional.begin(), functional.end());
        config[2] = static_cast<std::uint8_t>(config.size());
        return config;
    }

    std::optional<std::string> StringDescriptor(std::uint8_t index) const override {
        switch (index) {
        case 1:
            return "Test Maker";
        case 2:
            return options_.product;
        case 3:
            return "0001";
        case 4:
            return "@Boot /0x00100000/4*001Ka";
        case 5:
            return "@Store /0x00000000/8*001Kg";
        default:
            return std::nullopt;
        }
    }

    UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) override {
        std::lock_guard lock(mutex_);
        if (interfaceNumber != options_.interfaceNumber || alternateSetting > 1) {
            return UsbStatus::Stall;
        }
        alternate_ = alternateSetting;
        return UsbStatus::Ok;
    }

    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                              std::size_t& transferred) override {
        transferred = 0;
        std::unique_lock lock(mutex_);
        if (fault_ != Fault::None && (!faultRequest_ || *faultRequest_ == setup.bRequest)) {
            const Fault fault = std::exchange(fault_, Fault::None);
            if (fault == Fault::Stall) {
                return UsbStatus::Stall;
            }
            if (fault == Fault::Vanish) {
                return UsbStatus::NoDevice;
            }
            // Silent: answer long after any host gives up, late enough that
            // a host waiting for the answer instead is plainly seen to.
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(3000));
            return UsbStatus::Timeout;
        }
        switch (setup.bRequest) {
        case kDnload:
            kept_.assign(data.begin(), data.end());
            transferred = data.size();
            state_ = kDnloadSync;
            return UsbStatus::Ok;
        case kUpload: {
            transferred = std::min(kept_.size(), data.size());
            std::copy_n(kept_.begin(), transferred, data.begin());
            return UsbStatus::Ok;
        }
        case kGetStatus: {
            if (data.size() < 6) {
                return UsbStatus::Stall;
            }
            if (state_ == kDnloadSync) {
                state_ = kDnloadIdle;
            }
            const std::uint8_t status[6] = {0, 0, 0, 0, state_, 0};
            std::copy_n(status, 6, data.begin());
            transferred = 6;
            return UsbStatus::Ok;
        }
        case kClrStatus:
        case kAbort:
            state_ = kIdle;
            return UsbStatus::Ok;
        case kGetState:
            if (data.empty()) {
                return UsbStatus::Stall;
            }
            data[0] = state_;
            transferred = 1;
            return UsbStatus::Ok;
        default:
            return UsbStatus::Stall;
        }
    }

    static constexpr std::uint8_t kDnload = 1;
    static constexpr std::uint8_t kUpload = 2;
    static constexpr std::uint8_t kGetStatus = 3;
    static constexpr std::uint8_t kClrStatus = 4;
    static constexpr std::uint8_t kGetState = 5;
    static constexpr std::uint8_t kAbort = 6;
    static constexpr std::uint8_t kIdle = 2;
    static constexpr std::uint8_t kDnloadSync = 3;
    static constexpr std::uint8_t kDnloadIdle = 5;

private:
    static constexpr std::uint8_t Lo(std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
    static constexpr std::uint8_t Hi(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }

    const Options options_;
    mutable std::mutex mutex_;
    Fault fault_ = Fault::None;
    std::optional<std::uint8_t> faultRequest_;
    std::uint8_t alternate_ = 0;
    std::uint8_t state_ = kIdle;
    std::vector<std::uint8_t> kept_;
};
