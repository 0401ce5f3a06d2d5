#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "device/usb/usb_backend.h"

// Records USB control transfers into a pcap file in the Linux usbmon format
// (link type 220, LINKTYPE_USB_LINUX_MMAPPED): per transfer a submission 'S'
// record with the setup packet (and the data of an OUT transfer) and a
// completion 'C' record with the status (and the data of an IN transfer).
// Wireshark and tshark open it; each record names the device by bus number
// and address. Safe to use from several threads.
class UsbCaptureFile {
public:
    // Creates (truncates) the file and writes the pcap header. Null, with a
    // reason in `error`, when the file cannot be written.
    static std::shared_ptr<UsbCaptureFile> Create(const std::string& path, std::string& error);

    ~UsbCaptureFile();
    UsbCaptureFile(const UsbCaptureFile&) = delete;
    UsbCaptureFile& operator=(const UsbCaptureFile&) = delete;

    struct Device {
        std::uint16_t bus = 0;
        std::uint8_t address = 0;
    };

    // One finished control transfer. `data` is what the caller passed (the
    // bytes sent for OUT requests, the answer for IN requests); `transferred`
    // how many of them moved.
    void RecordControlTransfer(Device device, const UsbSetupPacket& setup, std::span<const std::uint8_t> data,
                               std::size_t transferred, UsbStatus status, std::int64_t submittedUs,
                               std::int64_t completedUs);

    // Wall-clock time in microseconds, as the records carry it.
    static std::int64_t NowUs();

    std::size_t RecordCount() const;

private:
    explicit UsbCaptureFile(std::FILE* file) : file_(file) {}
    void WriteRecord(std::span<const std::uint8_t> header, std::span<const std::uint8_t> data, std::int64_t timeUs);

    mutable std::mutex mutex_;
    std::FILE* file_;
    std::uint64_t nextUrbId_ = 1;
    std::size_t records_ = 0;
};

// A UsbBackend that passes everything to another one and records every
// control transfer of the devices it opens into a capture file. String and
// configuration descriptor reads and alternate-setting selection appear as
// the standard requests they stand for.
class CapturingUsbBackend : public UsbBackend {
public:
    // Wraps `inner`, which must outlive this object.
    CapturingUsbBackend(UsbBackend& inner, std::shared_ptr<UsbCaptureFile> file);
    // Wraps and owns `inner`.
    CapturingUsbBackend(std::unique_ptr<UsbBackend> inner, std::shared_ptr<UsbCaptureFile> file);

    // For the tools' `--capture FILE.pcap`: a capturing wrapper around
    // `inner` writing to `pcapPath`, or null with a reason in `error`.
    static std::unique_ptr<CapturingUsbBackend> Start(UsbBackend& inner, const std::string& pcapPath,
                                                      std::string& error);

    std::vector<DfuInterfaceInfo> EnumerateDfuInterfaces() override;
    std::unique_ptr<UsbDeviceHandle> Open(const std::string& path, UsbStatus& status) override;
    bool WatchDeviceChanges() override { return inner_.WatchDeviceChanges(); }
    bool WaitForDeviceChange(std::chrono::milliseconds timeout) override {
        return inner_.WaitForDeviceChange(timeout);
    }
    void WakeDeviceChangeWait() override { inner_.WakeDeviceChangeWait(); }

    const std::shared_ptr<UsbCaptureFile>& File() const { return file_; }

private:
    UsbCaptureFile::Device DeviceFor(const std::string& path, const UsbDeviceHandle& handle);

    std::unique_ptr<UsbBackend> owned_;
    UsbBackend& inner_;
    std::shared_ptr<UsbCaptureFile> file_;
    std::mutex mutex_;
    // Addresses made up for backends that have none, one per device path.
    std::map<std::string, std::uint8_t> assignedAddresses_;
};

// The bus number in a device path (`...\BUS_bbb&...`); 1 when it has none.
std::uint16_t BusNumberFromPath(const std::string& path);
