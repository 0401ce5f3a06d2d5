#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/dfu/dfu_class.h"
#include "virtual_usb_device.h"

// The Orvo in DFU mode, as a device model for the virtual bus and the umockdev
// fixture: the DFU 1.1 state machine with the boot loader's commands, two
// alternate settings with their memory maps, NOR flash, the identity block, a
// timing model reported through bwPollTimeout, fault injection, and a count of
// everything a correct host would never do.

constexpr std::uint16_t kVirtualOrvoVendorId = 0x1209;
constexpr std::uint16_t kVirtualOrvoProductId = 0xD0F0;
constexpr std::uint16_t kVirtualOrvoTransferSize = 2048;

constexpr std::uint32_t kOrvoDataFlashStart = 0x00000000;
constexpr std::uint32_t kOrvoDataFlashSize = 8u * 1024 * 1024;
constexpr std::uint32_t kOrvoSectorSize = 64u * 1024;
constexpr std::uint32_t kOrvoFirmwareStart = 0x00100000;
constexpr std::uint32_t kOrvoFirmwareSize = 16u * 64 * 1024;
constexpr std::uint32_t kOrvoIdentityAddress = 0x004F0000;
constexpr std::uint32_t kOrvoIdentitySize = 56;

// The poll timeout a device stuck in dfuDNBUSY keeps asking for.
constexpr std::uint32_t kOrvoStuckPollMs = 25;

constexpr const char* kOrvoFirmwareMap = "@Firmware /0x00100000/16*064Ka";
constexpr const char* kOrvoDataFlashMap = "@Data Flash /0x00000000/128*064Kg";

// How long the device takes. The figures are those of the real part; the mode
// decides whether they are used as they are, scaled, or not at all.
struct OrvoTiming {
    enum class Mode { Instant, Scaled, Real };
    Mode mode = Mode::Instant;
    double scale = 1.0;  // used in Scaled mode

    std::uint32_t sectorEraseUs = 400'000;
    std::uint32_t massEraseUs = 25'000'000;
    std::uint32_t programUsPerKiB = 4'000;
    std::uint32_t commandUs = 1'000;          // set address pointer
    std::uint32_t transferUsPerKiB = 1'000;   // wire time of DNLOAD and UPLOAD data

    static OrvoTiming Instant() { return {}; }
    static OrvoTiming Real() {
        OrvoTiming t;
        t.mode = Mode::Real;
        return t;
    }
    static OrvoTiming Scaled(double factor) {
        OrvoTiming t;
        t.mode = Mode::Scaled;
        t.scale = factor;
        return t;
    }
};

struct VirtualOrvoConfig {
    std::string serial = "OR12345";                    // 7 characters in the identity block
    std::string identityText = "H2026010100000000001";  // at byte 8 of the identity block
    std::string productName = "Orvo";                   // at byte 40
    std::string usbProduct = "Orvo in DFU mode";        // USB product string
    std::string usbSerial = "0000A1B2C3D4";
    OrvoTiming timing;
    // Strict: an early GETSTATUS stalls instead of being answered with the
    // remaining busy time. Either way it counts as a violation.
    bool strict = false;
    // The clock the busy times are judged on; tests put a manual one here so
    // that "too early" does not depend on the machine's speed.
    std::function<std::chrono::steady_clock::time_point()> clock = [] { return std::chrono::steady_clock::now(); };
};

// Requests that faults can be aimed at, counted separately.
enum class OrvoRequestKind { SetPointer, Erase, Program, Upload, GetStatus };

struct OrvoStats {
    std::uint64_t busyUs = 0;      // poll timeouts the device asked for
    std::uint64_t transferUs = 0;  // wire time of data stages, as long as the model held them
    unsigned setPointers = 0;
    unsigned erases = 0;
    unsigned programs = 0;
    unsigned uploads = 0;
    unsigned requests = 0;
};

class VirtualOrvo : public VirtualUsbDevice {
public:
    explicit VirtualOrvo(VirtualOrvoConfig config = {});
    ~VirtualOrvo();

    // --- VirtualUsbDevice
    std::vector<std::uint8_t> DeviceDescriptor() const override;
    std::vector<std::uint8_t> ConfigurationDescriptor() const override;
    std::optional<std::string> StringDescriptor(std::uint8_t index) const override;
    UsbStatus SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternateSetting) override;
    std::optional<std::chrono::microseconds> LastAnswerTime() const override {
        return std::chrono::microseconds(lastAnswerUs_.load());
    }
    UsbStatus ControlTransfer(const UsbSetupPacket& setup, std::span<std::uint8_t> data,
                              std::size_t& transferred) override;
    void OnAttach() override;
    void OnDetach() override;

    // --- flash
    std::vector<std::uint8_t> ReadFlash(std::uint32_t address, std::uint32_t length) const;
    // Writes bytes as they are (not NOR programming): for test set-up.
    void WriteFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    // The 8 MiB data flash as a raw file.
    bool LoadFlash(const std::string& path, std::string& error);
    bool SaveFlash(const std::string& path, std::string& error) const;
    // From now on every change to the data flash (an erase, a block, a test's
    // WriteFlash) reaches the file at `path` as it is made, so that what a
    // cut-off write leaves is in the file even when the program is killed.
    // The file is made (as SaveFlash makes it) from the flash as it stands.
    bool KeepFlashIn(const std::string& path, std::string& error);
    void WriteIdentityBlock();

    // --- faults (index counts requests of that kind from now on, from 0)
    void FailAt(OrvoRequestKind kind, unsigned index, std::uint8_t status);
    void StallAt(OrvoRequestKind kind, unsigned index);
    void UnplugAt(OrvoRequestKind kind, unsigned index);
    // The next `count` requests are answered only after `delayMs`.
    void SlowAnswers(unsigned delayMs, unsigned count);
    // Every string descriptor read (the product name discovery reads, the
    // memory maps the engine reads) takes `delayMs` from now on; 0 ends it.
    // Device and configuration descriptors come from the host's copy and
    // stay quick. A standing condition, like the timing: ClearFaults keeps it.
    void SlowDescriptors(unsigned delayMs);
    void ClearFaults();
    void SetTiming(const OrvoTiming& timing);

    // --- silent faults, which only reading back reveals
    // The index-th Program (counted like the faults above) is acknowledged as
    // good, but one byte of its block is stored wrong: a flash cell that
    // fails without the device noticing.
    void CorruptSilentlyAt(unsigned programIndex);

    // --- hangs: once triggered they last until the device is plugged in again
    // (ClearFaults only drops those not yet triggered).
    // From the index-th request of `kind` on, every GETSTATUS answers dfuDNBUSY
    // with kOrvoStuckPollMs as poll timeout; the work in hand is never done.
    void BusyForeverAt(OrvoRequestKind kind, unsigned index);
    // From the index-th request of `kind` on (that one included), the device
    // answers nothing: every transfer ends in the host's timeout. The virtual
    // bus reports that timeout at once; over umockdev the host waits it out.
    void NoAnswerFrom(OrvoRequestKind kind, unsigned index);

    // --- observation
    std::uint8_t State() const;
    std::uint8_t Status() const;
    std::uint8_t AlternateSetting() const;
    unsigned ProtocolViolations() const;
    std::vector<std::string> ViolationLog() const;
    std::vector<std::uint32_t> ErasedSectors() const;  // sector start of every erase, in order
    OrvoStats Stats() const;
    void ResetStats();
    bool Detached() const { return detached_; }

private:
    struct Fault {
        enum class Action { Status, Stall, Unplug, Corrupt };
        OrvoRequestKind kind;
        unsigned at;  // absolute count of that kind
        Action action;
        std::uint8_t status;
    };
    struct Region {
        std::uint32_t start;
        std::uint32_t size;
        unsigned properties;  // kReadable | kErasable | kWritable
    };
    static constexpr unsigned kReadable = 1;
    static constexpr unsigned kErasable = 2;
    static constexpr unsigned kWritable = 4;
    enum class Pending { None, SetPointer, Erase, MassErase, Program, Manifest };
    enum class Verdict { Ok, Stall, Unplug };

    Verdict HandleDownload(const UsbSetupPacket& setup, std::span<const std::uint8_t> data);
    Verdict HandleCommand(std::span<const std::uint8_t> data);
    Verdict HandleUpload(const UsbSetupPacket& setup, std::span<std::uint8_t> data, std::size_t& transferred);
    Verdict HandleGetStatus(std::span<std::uint8_t> data, std::size_t& transferred);
    void FinishPending();
    std::uint32_t ExecutePendingUs();

    Verdict Violation(const std::string& what);
    Verdict StallWith(std::uint8_t status);
    std::optional<Fault> TakeFault(OrvoRequestKind kind);
    bool InRegion(std::uint32_t address, std::uint32_t length, unsigned property) const;
    const Region& CurrentRegion() const;
    std::uint8_t* MemoryAt(std::uint32_t address);
    std::uint32_t ScaledUs(std::uint64_t realUs) const;
    bool SleepUnlessDetached(std::chrono::microseconds duration);

    VirtualOrvoConfig config_;
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    std::atomic<bool> detached_{false};
    // How long the model meant the last control transfer to take.
    std::atomic<std::int64_t> lastAnswerUs_{0};

    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> firmware_;
    // The file the flash is kept in (KeepFlashIn), none when null; written
    // under mutex_.
    std::FILE* flashFile_ = nullptr;
    void FlashChanged(std::uint32_t address, std::size_t length);
    void SaveFlashRange(std::uint32_t address, std::size_t length);
    std::uint8_t alternate_ = 0;
    std::uint8_t state_ = dfu::dfuIDLE;
    std::uint8_t status_ = dfu::OK;
    std::uint32_t pointer_ = 0;

    Pending pending_ = Pending::None;
    std::uint32_t pendingAddress_ = 0;
    std::vector<std::uint8_t> pendingData_;
    std::uint8_t pendingResult_ = dfu::OK;
    bool pendingCorrupt_ = false;
    std::chrono::steady_clock::time_point readyAt_{};

    std::vector<Fault> faults_;
    unsigned kindCounts_[5] = {};
    unsigned slowCount_ = 0;
    unsigned slowDelayMs_ = 0;
    std::atomic<unsigned> descriptorDelayMs_{0};
    void DelayDescriptorRead() const;

    // --- hangs
    struct Hang {
        enum class Action { BusyForever, NoAnswer };
        OrvoRequestKind kind;
        unsigned at;  // absolute count of that kind
        Action action;
    };
    void TriggerHangs(OrvoRequestKind kind, unsigned count);
    Verdict AnswerStuckBusy(std::span<std::uint8_t> data, std::size_t& transferred);
    std::vector<Hang> hangs_;
    bool busyForever_ = false;
    bool noAnswer_ = false;

    std::vector<std::string> violations_;
    std::vector<std::uint32_t> erasedSectors_;
    OrvoStats stats_;
};
