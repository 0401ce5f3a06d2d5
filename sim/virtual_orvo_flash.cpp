#include "virtual_orvo.h"

#include "common/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

// The memory behind the alternate settings, the identity block, and the data
// flash kept in a file between runs.

const VirtualOrvo::Region& VirtualOrvo::CurrentRegion() const {
    static const Region firmware{kOrvoFirmwareStart, kOrvoFirmwareSize, kReadable};
    static const Region data{kOrvoDataFlashStart, kOrvoDataFlashSize, kReadable | kErasable | kWritable};
    return alternate_ == 0 ? firmware : data;
}

bool VirtualOrvo::InRegion(std::uint32_t address, std::uint32_t length, unsigned property) const {
    const Region& r = CurrentRegion();
    const std::uint64_t end = static_cast<std::uint64_t>(address) + length;
    return address >= r.start && end <= static_cast<std::uint64_t>(r.start) + r.size &&
           (r.properties & property) == property;
}

std::uint8_t* VirtualOrvo::MemoryAt(std::uint32_t address) {
    return alternate_ == 0 ? firmware_.data() + (address - kOrvoFirmwareStart)
                           : flash_.data() + (address - kOrvoDataFlashStart);
}

std::vector<std::uint8_t> VirtualOrvo::ReadFlash(std::uint32_t address, std::uint32_t length) const {
    std::lock_guard lock(mutex_);
    if (address >= flash_.size())
        return {};
    const auto end = std::min<std::size_t>(flash_.size(), static_cast<std::size_t>(address) + length);
    return {flash_.begin() + address, flash_.begin() + static_cast<std::ptrdiff_t>(end)};
}

void VirtualOrvo::WriteFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    std::size_t i = 0;
    for (; i < bytes.size() && address + i < flash_.size(); ++i)
        flash_[address + i] = bytes[i];
    SaveFlashRange(address, i);
}

VirtualOrvo::~VirtualOrvo() {
    if (flashFile_ != nullptr)
        std::fclose(flashFile_);
}

// Only the data flash is kept; the firmware is made afresh each run.
void VirtualOrvo::FlashChanged(std::uint32_t address, std::size_t length) {
    if (alternate_ == 1)
        SaveFlashRange(address - kOrvoDataFlashStart, length);
}

// One write per change, into the stream's buffer and then the page cache:
// a block is 2 KiB, an erase 64 KiB. A file that can no longer be written
// stops being kept.
void VirtualOrvo::SaveFlashRange(std::uint32_t offset, std::size_t length) {
    if (flashFile_ == nullptr || offset >= flash_.size())
        return;
    length = std::min(length, flash_.size() - offset);
    const bool saved = std::fseek(flashFile_, static_cast<long>(offset), SEEK_SET) == 0 &&
                       std::fwrite(flash_.data() + offset, 1, length, flashFile_) == length &&
                       std::fflush(flashFile_) == 0;
    if (!saved) {
        std::fclose(flashFile_);
        flashFile_ = nullptr;
    }
}

bool VirtualOrvo::KeepFlashIn(const std::string& path, std::string& error) {
    // SaveFlash refuses a link or special file and leaves a regular file of
    // the flash's size; this opens the file it made.
    if (!SaveFlash(path, error))
        return false;
    std::FILE* file = OpenFile(path, "r+b");
    if (file == nullptr) {
        error = "cannot keep the flash in " + path + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard lock(mutex_);
    if (flashFile_ != nullptr)
        std::fclose(flashFile_);
    flashFile_ = file;
    return true;
}

void VirtualOrvo::WriteIdentityBlock() {
    std::vector<std::uint8_t> block(kOrvoIdentitySize, 0xFF);
    auto put = [&](std::size_t at, const std::string& text, std::size_t room) {
        const std::size_t n = std::min(text.size(), room - 1);
        std::copy_n(text.begin(), n, block.begin() + static_cast<std::ptrdiff_t>(at));
        block[at + n] = 0;
    };
    put(0, config_.serial.substr(0, 7), 8);
    put(8, config_.identityText, 32);
    put(40, config_.productName, 16);
    WriteFlash(kOrvoIdentityAddress, block);
}

bool VirtualOrvo::LoadFlash(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<std::uint8_t> bytes(kOrvoDataFlashSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()) || in.peek() != std::char_traits<char>::eof()) {
        error = path + " is not an 8 MiB flash image";
        return false;
    }
    std::lock_guard lock(mutex_);
    flash_ = std::move(bytes);
    return true;
}

bool VirtualOrvo::SaveFlash(const std::string& path, std::string& error) const {
    std::lock_guard lock(mutex_);
    // A kept flash file holds every change already; replacing it while it
    // is open is not possible everywhere (Windows refuses it).
    if (flashFile_ != nullptr)
        return std::fflush(flashFile_) == 0;
    // Through a temporary file: a failed save keeps the earlier image, and a
    // link or device in the flash file's place is refused.
    if (const int written = WriteWholeFile(path, flash_.data(), flash_.size()); written != 0) {
        error = "cannot write " + WriteErrorText(path, written);
        return false;
    }
    return true;
}
