#pragma once

// A DFU-mode device for the fuzz targets: its configuration descriptor is
// given, its two alternate settings carry the Orvo's memory maps, and every
// DFU request is answered from a stream of fuzzer bytes. When the stream runs
// out every request stalls, so whatever the engine does ends.
//
// Each answer takes one byte saying how the transfer ends and, for a
// device-to-host request that succeeds, one length byte and that many data
// bytes (zero when the stream ends early).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/dfu/dfu_class.h"
#include "virtual_usb_device.h"

// Each DFU request the engine sent, as the device saw it.
struct SeenRequest {
    UsbSetupPacket setup;
    std::vector<std::uint8_t> sent;      // host-to-device data
    std::vector<std::uint8_t> answered;  // device-to-host data that the host got
    UsbStatus status = UsbStatus::Ok;
};

class AnsweringDevice : public VirtualUsbDevice {
public:
    AnsweringDevice(std::vector<std::uint8_t> configuration, std::span<const std::uint8_t> answers)
        : configuration_(std::move(configuration)), answers_(answers) {}

    static std::vector<std::uint8_t> OrvoLikeConfiguration(std::uint16_t transferSize) {
        std::vector<std::uint8_t> d = {9, 2, 36, 0, 1, 1, 0, 0x80, 50};
        for (std::uint8_t alt = 0; alt < 2; ++alt)
            d.insert(d.end(), {9, 4, 0, alt, 0, dfu::kInterfaceClass, dfu::kInterfaceSubClass,
                               dfu::kInterfaceProtocolDfuMode, static_cast<std::uint8_t>(4 + alt)});
        d.insert(d.end(), {9, dfu::kFunctionalDescriptorType, 0x07, 0xFF, 0x00,
                           static_cast<std::uint8_t>(transferSize), static_cast<std::uint8_t>(transferSize >> 8),
                           0x10, 0x01});
        return d;
    }

    std::vector<std::uint8_t> DeviceDescriptor() const override {
        return {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x34, 0x12, 0x78, 0x56, 0x00, 0x02, 1, 2, 3, 1};
    }
    std::vector<std::uint8_t> ConfigurationDescriptor() const override { return configuration_; }

    // Any interface string is a memory map: even indexes the writable data
    // flash, odd ones the read-only firmware.
    std::optional<std::string> StringDescriptor(std::uint8_t index) const override {
        switch (index) {
        case 0: return std::nullopt;
        case 1: return std::string("Fuzz");
        case 2: return std::string("Fuzz device");
        case 3: return std::string("0001");
        default:
            return std::string(index % 2 == 0 ? "@Data Flash /0x00000000/128*064Kg"
                                              : "@Firmware /0x00100000/16*064Ka");
        }
    }

    UsbStatus SetAlternateSetting(std::uint8_t, std::uint8_t) override { return UsbStatus::Ok; }

    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                              std::size_t& transferred) override {
        transferred = 0;
        SeenRequest seen;
        seen.setup = setup;
        const bool in = (setup.bmRequestType & 0x80) != 0;
        if (!in)
            seen.sent.assign(data.begin(), data.end());
        seen.status = NextStatus();
        if (seen.status == UsbStatus::Ok) {
            if (in) {
                const std::size_t n = std::min<std::size_t>(Next(), data.size());
                for (std::size_t i = 0; i < n; ++i)
                    data[i] = Next();
                transferred = n;
                seen.answered.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
            } else {
                transferred = data.size();
            }
        }
        requests_.push_back(std::move(seen));
        return requests_.back().status;
    }

    const std::vector<SeenRequest>& Requests() const { return requests_; }

private:
    std::uint8_t Next() { return at_ < answers_.size() ? answers_[at_++] : 0; }

    UsbStatus NextStatus() {
        if (at_ >= answers_.size())
            return UsbStatus::Stall;
        switch (Next() % 16) {
        case 12: return UsbStatus::Stall;
        case 13: return UsbStatus::Timeout;
        case 14: return UsbStatus::Error;
        case 15: return UsbStatus::NoDevice;
        default: return UsbStatus::Ok;
        }
    }

    std::vector<std::uint8_t> configuration_;
    std::span<const std::uint8_t> answers_;
    std::size_t at_ = 0;
    std::vector<SeenRequest> requests_;
};
