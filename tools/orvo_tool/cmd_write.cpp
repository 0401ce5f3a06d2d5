#include <cstdio>

#include "common/command_registry.h"
#include "device/dfu_files.h"
#include "dfu_runner.h"
#include "usb_session.h"

// Writes the alternate-setting-1 image of a DFU file into the device: the
// sectors it touches are erased, then its data written block by block.

namespace {

DfuResult SelectImage(const std::string& file, DfuHandle& image) {
    DfuHandle handle = 0;
    std::uint8_t count = 0;
    DfuResult r = STDFUFILES_OpenExistingDFUFile(file.c_str(), &handle, nullptr, nullptr, nullptr, &count);
    if (r != STDFU_NOERROR)
        return r;
    image = 0;
    for (std::uint8_t i = 0; i < count && image == 0; ++i) {
        DfuHandle candidate = 0;
        if (STDFUFILES_ReadImageFromDFUFile(handle, i, &candidate) != STDFU_NOERROR)
            continue;
        std::uint8_t alternate = 0;
        if (STDFUFILES_GetImageAlternate(candidate, &alternate) == STDFU_NOERROR && alternate == 1)
            image = candidate;
        else
            STDFUFILES_DestroyImage(&candidate);
    }
    STDFUFILES_CloseDFUFile(handle);
    return image != 0 ? STDFU_NOERROR : STDFU_BAD_PARAMETER;
}

int RunWrite(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    UsbSession session;
    std::string error;
    if (!session.Start(args, error)) {
        std::fprintf(stderr, "orvo-tool write: %s\n", error.c_str());
        return 2;
    }
    std::string path;
    const bool picked = PickDevice(args, path, error);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: orvo-tool write FILE.dfu [--device PATH] %s\n", UsbSession::OptionsUsage());
        return 2;
    }
    DfuHandle image = 0;
    if (SelectImage(args[0], image) != STDFU_NOERROR) {
        std::fprintf(stderr, "orvo-tool write: %s: not a readable DFU file with an image for alternate setting 1\n",
                     args[0].c_str());
        return 1;
    }
    if (!picked) {
        STDFUFILES_DestroyImage(&image);
        std::fprintf(stderr, "orvo-tool write: %s\n", error.c_str());
        return 1;
    }
    const ToolRunResult result = WriteImageToDevice(path, image);
    STDFUFILES_DestroyImage(&image);
    if (result.error != STDFU_NOERROR) {
        std::fprintf(stderr, "orvo-tool write: %s: %s\n", path.c_str(), DescribeResult(result).c_str());
        return 1;
    }
    if (!session.Finish(error)) {
        std::fprintf(stderr, "orvo-tool write: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s into %s\n", args[0].c_str(), path.c_str());
    return 0;
}

const CommandRegistration registration{"write", std::string("FILE.dfu [--device PATH] ") + UsbSession::OptionsUsage(),
                                       "write a DFU file's image into the device (erase, then write)", &RunWrite};

}  // namespace
