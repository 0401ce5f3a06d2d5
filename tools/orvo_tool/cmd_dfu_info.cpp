#include <cstdio>
#include <string>
#include <vector>

#include "tool_support/command_registry.h"
#include "tool_support/dfu_file_limit.h"
#include "tool_support/input_file.h"
#include "tool_support/printable_text.h"
#include "device/dfu/dfu_files_format.h"

// Shows what a DFU file holds, for checking the files the updater makes (and
// files from elsewhere): suffix, CRC verdict, images and elements. A file
// the reader would refuse gives exit code 1, with the reason and its offset.

namespace {

// Names come from the file and are printed in quotes: control characters,
// quotes and backslashes are shown escaped.
std::string Printable(const std::string& text) { return PrintableText(text, "\"\\"); }

void PrintSuffix(const DfuFileParse& parsed) {
    const DfuFileSuffix& s = parsed.suffix;
    const std::string signature = Printable(std::string(s.signature, 3));
    std::printf("suffix: idVendor 0x%04X, idProduct 0x%04X, bcdDevice 0x%04X, bcdDFU 0x%04X, signature \"%s\", "
                "length %u\n",
                s.idVendor, s.idProduct, s.bcdDevice, s.bcdDFU, signature.c_str(), s.length);
    std::printf("CRC: stored 0x%08X, computed 0x%08X: %s\n", s.crc, parsed.computedCrc,
                s.crc == parsed.computedCrc ? "good" : "BAD");
}

void PrintImages(const DfuFileContents& contents) {
    std::printf("images: %zu\n", contents.images.size());
    for (std::size_t i = 0; i < contents.images.size(); ++i) {
        const DfuImageData& image = contents.images[i];
        std::printf("image %zu: alternate setting %u, name \"%s\", %zu element(s)\n", i, image.alternateSetting,
                    Printable(image.name).c_str(), image.elements.size());
        for (std::size_t e = 0; e < image.elements.size(); ++e) {
            const DfuImageElementData& element = image.elements[e];
            std::printf("  element %zu: address 0x%08X, size %zu bytes\n", e, element.address, element.data.size());
        }
    }
}

int RunDfuInfo(const std::vector<std::string>& args) {
    if (args.empty())
        return UsageError("a FILE is needed");
    if (args.size() != 1)
        return RejectLeftovers({args.begin() + 1, args.end()});
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadRegularFile(args[0], kMaxDfuFileBytes, bytes, error)) {
        std::fprintf(stderr, "%s%s\n", CommandPrefix().c_str(), error.c_str());
        return ExitFailure;
    }

    const DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    std::printf("file: %s (%zu bytes)\n", args[0].c_str(), bytes.size());
    if (parsed.suffixRead)
        PrintSuffix(parsed);
    if (!parsed.ok) {
        std::fprintf(stderr, "%smalformed DFU file: %s (offset %zu)\n", CommandPrefix().c_str(),
                     parsed.error.c_str(), parsed.errorOffset);
        return ExitFailure;
    }
    PrintImages(parsed.contents);
    return ExitSuccess;
}

const CommandRegistration registration{
    "dfu-info", "FILE", "show the suffix, CRC verdict, images and elements of a DFU file", &RunDfuInfo,
    "FILE must be a regular file of at most 256 MiB (the engine's limit).\n"
    "Exit code 1 for a file that cannot be read or that the engine would refuse (bad CRC, cut short, ...):\n"
    "the reason and its offset are printed.",
    "orvo-tool dfu-info work/tesselDB.dfu"};

}  // namespace
