// Feeds arbitrary bytes as the identity block read back from a device. The
// device decides every byte and how many it sends: a short block is no block,
// no text may come from past the data, and the texts end at a NUL.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "device/identity_block.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool IsWithin(const std::string& text, std::span<const std::uint8_t> block, std::size_t offset) {
    // Every character of the text occurs, in order, in the block from `offset`.
    std::size_t at = offset;
    for (char c : text) {
        while (at < block.size() && block[at] != static_cast<std::uint8_t>(c))
            ++at;
        if (at == block.size())
            return false;
        ++at;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> block(data, size);
    const auto fields = ParseIdentityBlock(block);
    if (size < kIdentityBlockSize) {
        Check(!fields);
        return 0;
    }
    Check(fields.has_value());
    Check(fields->serial.size() <= 7);
    for (const std::string* text : {&fields->serial, &fields->idText, &fields->productName})
        Check(text->find('\0') == std::string::npos);
    Check(fields->idText.find('\xFF') == std::string::npos);
    Check(fields->productName.find('\xFF') == std::string::npos);
    Check(IsWithin(fields->serial, block, 0));
    Check(IsWithin(fields->idText, block, 8));
    Check(IsWithin(fields->productName, block, 40));

    // The digit rule looks at 19 characters from the second on: a shorter text
    // never passes, whatever it holds.
    const bool digits = PassesDigitRule(fields->idText);
    if (digits) {
        Check(fields->idText.size() >= 20);
        Check(std::all_of(fields->idText.begin() + 1, fields->idText.begin() + 20,
                          [](char c) { return c >= '0' && c <= '9'; }));
    }
    Check(AcceptsIdentity(*fields, fields->productName));
    Check(AcceptsIdentity(*fields, fields->productName + "x") == digits);
    return 0;
}
