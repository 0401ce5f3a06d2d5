#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/command_registry.h"
#include "common/printable_text.h"
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
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: orvo-tool dfu-info FILE\n");
        return 2;
    }
    std::ifstream in(args[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "dfu-info: cannot open %s\n", args[0].c_str());
        return 1;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        std::fprintf(stderr, "dfu-info: cannot read %s\n", args[0].c_str());
        return 1;
    }

    const DfuFileParse parsed = DfuFileFormat::Parse(bytes);
    std::printf("file: %s (%zu bytes)\n", args[0].c_str(), bytes.size());
    if (parsed.suffixRead)
        PrintSuffix(parsed);
    if (!parsed.ok) {
        std::fprintf(stderr, "dfu-info: malformed DFU file: %s (offset %zu)\n", parsed.error.c_str(),
                     parsed.errorOffset);
        return 1;
    }
    PrintImages(parsed.contents);
    return 0;
}

const CommandRegistration registration{"dfu-info", "FILE",
                                       "show the suffix, CRC verdict, images and elements of a DFU file",
                                       &RunDfuInfo};

}  // namespace
