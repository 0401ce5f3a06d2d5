#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/file_io.h"
#include "tool_support/command_registry.h"
#include "tool_support/input_file.h"
#include "dfu_runner.h"
#include "usb_session.h"

// Reads LEN bytes at ADDR of the device's data flash (alternate setting 1)
// into FILE.

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

int RunRead(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    UsbSession session;
    std::string error;
    std::string out;
    const bool hasOut = TakeOption(args, "--out", out);
    if (!session.Start(args, error))
        return SessionStartFailure(session.FailedOnUsage(), error);
    std::string path;
    const bool picked = PickDevice(session.Backend(), args, path, error);
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
    if (!CheckOutputFile(out, error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }
    if (!picked) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }
    std::vector<std::uint8_t> data;
    const ToolRunResult result = ReadFromDevice(session.Engine(), path, address, length, data);
    if (result.error != STDFU_NOERROR) {
        std::fprintf(stderr, "%s%s: %s\n", CommandPrefix().c_str(), path.c_str(), DescribeResult(result).c_str());
        return ExitFailure;
    }
    if (const int written = WriteWholeFile(out, data.data(), data.size()); written != 0) {
        std::fprintf(stderr, "%scannot write %s\n", CommandPrefix().c_str(), WriteErrorText(out, written).c_str());
        return ExitFailure;
    }
    if (!session.Finish(error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }
    std::printf("read %u bytes at 0x%08X from %s into %s\n", length, address, path.c_str(), out.c_str());
    return 0;
}

const CommandRegistration registration{"read", std::string("ADDR LEN --out FILE [--device PATH] ") +
                                                   UsbSession::OptionsUsage(),
                                       "read device memory (alternate setting 1) into a file", &RunRead,
                                       "  ADDR, LEN              decimal or 0x... ; LEN at most 64 MiB\n"
                                       "  --out FILE             where the bytes go\n" +
                                           DeviceOptionHelp() + UsbSession::OptionsHelp(),
                                       "orvo-tool read 0x004E0000 16 --out date.bin --virtual=flash.bin"};

}  // namespace
