#include <cstdio>
#include <filesystem>
#include <string>

#include "common/command_registry.h"
#include "device/dfu_device.h"
#include "common/message_box_port.h"

namespace {

// The DFU file preparation reports its failures in message boxes; on the
// command line they become lines on the error stream.
class StderrMessageBox : public MessageBoxPort {
public:
    void ShowMessageBox(const std::string& text) override { std::fprintf(stderr, "convert: %s\n", text.c_str()); }
};

int RunConvert(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty()) {
        std::fprintf(stderr, "usage: orvo-tool convert BASE   (reads BASE.txt, writes BASE.bin and BASE.dfu)\n");
        return 2;
    }
    const std::string& base = args[0];
    // The buffer files go where the updater would put them: beside the working
    // files. Built from BASE, the device object's program folder is BASE's
    // folder (the current directory for a bare name).
    CDfuDevice device(base);
    StderrMessageBox messageBox;
    device.AttachUi(nullptr, &messageBox, nullptr);

    const std::string result = device.PrepareDatabase(base);
    std::printf("%s\n", result.c_str());
    if (result != base) {
        if (result.empty())
            std::fprintf(stderr, "convert: no valid record in %s.txt\n", base.c_str());
        return 1;
    }
    std::error_code error;
    const auto packedSize = std::filesystem::file_size(base + ".bin", error);
    if (!error && packedSize >= 5)
        std::fprintf(stderr, "convert: %ju records packed into %s.bin (%ju bytes), DFU file %s.dfu\n",
                     static_cast<std::uintmax_t>((packedSize - 5) / 14), base.c_str(),
                     static_cast<std::uintmax_t>(packedSize), base.c_str());
    return 0;
}

const CommandRegistration registration{"convert", "BASE",
                                       "convert BASE.txt into the packed database BASE.bin and BASE.dfu "
                                       "(buffer files in BASE's folder)",
                                       &RunConvert};

}  // namespace
