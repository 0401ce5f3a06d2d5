#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/cycle_events.h"
#include "common/file_io.h"
#include "device/dfu/dfu_mapping.h"
#include "device_session.h"
#include "tool_support/command_registry.h"
#include "tool_support/input_file.h"

// Reads LEN bytes at ADDR of the device's data flash (alternate setting 1)
// into FILE, through the updater's own read of device memory.

namespace {

bool ParseNumber(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text[0] == '-')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

// A long read shows its percentage on stderr while it runs.
class ReadPercent final : public CycleEventListener {
public:
    ~ReadPercent() override {
        if (shown_ != -1)
            std::fputc('\n', stderr);
    }
    void OnCycleEvent(const CycleEvent& event) override {
        const auto* progress = std::get_if<CycleEvents::OperationProgress>(&event);
        if (progress == nullptr || progress->percent == shown_)
            return;
        shown_ = progress->percent;
        std::fprintf(stderr, "\rread    %3d%%", shown_);
    }

private:
    int shown_ = -1;  // only the monitor's thread writes it while the read runs
};

int Fail(const std::string& text) {
    std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), text.c_str());
    return ExitFailure;
}

int Read(DeviceSession& session, std::vector<std::string>& args) {
    std::string error;
    std::string out;
    const bool hasOut = TakeOption(args, "--out", out);
    const bool picked = session.PickDevice(args, error);
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    if (!hasOut)
        return UsageError("--out FILE is needed");
    if (args.size() < 2)
        return UsageError("ADDR and LEN are needed");
    if (args.size() > 2)
        return RejectLeftovers({args.begin() + 2, args.end()});
    if (!ParseNumber(args[0], address) || !ParseNumber(args[1], length) || length == 0)
        return UsageError("ADDR and LEN must be numbers (decimal or 0x...) up to 0xFFFFFFFF, LEN not 0");
    // Larger than any memory map the Orvo has; refused before allocating it.
    constexpr std::uint32_t kMaxRead = 64u * 1024 * 1024;
    if (length > kMaxRead)
        return UsageError("LEN may be at most " + std::to_string(kMaxRead) + " bytes");
    if (!CheckOutputFile(out, error) || !picked)
        return Fail(error);

    CDfuDevice& device = session.Device();
    const std::string path = device.DevicePath.Get();
    // Told in one line, as `write` tells an element outside the map.
    if (address > 0xFFFFFFFFu - (length - 1) || !LiesInDataFlash(session, address, length, kSectorReadable))
        return Fail(path + ": " + RangeText(address, length) + " lies outside the device's memory map");

    std::vector<std::uint8_t> data;
    bool read = false;
    {
        ReadPercent percent;
        if (length > 65536)
            device.Events.Subscribe(percent);
        read = device.ReadRegion({address, length}, data);
        device.Events.Unsubscribe(percent);
    }
    // What went wrong on the device has been said by the read itself.
    if (!read)
        return Fail(path + ": the read did not complete");
    if (const int written = WriteWholeFile(out, data.data(), data.size()); written != 0)
        return Fail("cannot write " + WriteErrorText(out, written));
    std::printf("read %u bytes at 0x%08X from %s into %s\n", length, address, path.c_str(), out.c_str());
    return ExitSuccess;
}

const CommandRegistration registration{"read", std::string("ADDR LEN --out FILE [--device PATH] ") +
                                                   UsbSession::OptionsUsage(),
                                       "read device memory (alternate setting 1) into a file",
                                       [](const std::vector<std::string>& arguments) {
                                           return RunInDeviceSession(arguments, &Read);
                                       },
                                       "  ADDR, LEN              decimal or 0x... ; LEN at most 64 MiB\n"
                                       "  --out FILE             where the bytes go\n" +
                                           DeviceOptionHelp() + UsbSession::OptionsHelp(),
                                       "orvo-tool read 0x004E0000 16 --out date.bin --virtual=flash.bin"};

}  // namespace
