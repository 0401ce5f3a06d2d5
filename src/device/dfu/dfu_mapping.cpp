#include "device/dfu/dfu_mapping.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// Generous for any real part, small enough that a hostile string cannot make
// us allocate without bound.
constexpr std::uint64_t kMaxSectors = 1u << 16;

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool AtEnd() const { return at_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
    bool Take(char c) {
        if (Peek() != c || AtEnd())
            return false;
        ++at_;
        return true;
    }
    char Next() { return AtEnd() ? '\0' : text_[at_++]; }

    bool Hex(std::uint64_t& value) {
        const std::size_t start = at_;
        value = 0;
        while (!AtEnd() && std::isxdigit(static_cast<unsigned char>(Peek()))) {
            const char c = Next();
            const unsigned digit = c <= '9' ? static_cast<unsigned>(c - '0')
                                            : static_cast<unsigned>((c | 0x20) - 'a' + 10);
            value = value * 16 + digit;
            if (value > 0xFFFFFFFFull)
                return false;
        }
        return at_ > start;
    }
    bool Decimal(std::uint64_t& value) {
        const std::size_t start = at_;
        value = 0;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
            value = value * 10 + static_cast<unsigned>(Next() - '0');
            if (value > 0xFFFFFFFFull)
                return false;
        }
        return at_ > start;
    }
    std::string_view Until(char c) {
        const std::size_t start = at_;
        while (!AtEnd() && Peek() != c)
            ++at_;
        return text_.substr(start, at_ - start);
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

bool Fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

// N*SSSut: sector count, size, unit (' ', 'K', 'M') and type letter 'a'..'g'.
bool ParseSegment(Cursor& in, std::uint64_t& address, ParsedMemoryMap& map, std::string& error) {
    std::uint64_t count = 0;
    std::uint64_t size = 0;
    if (!in.Decimal(count) || count == 0)
        return Fail(error, "missing sector count");
    if (!in.Take('*'))
        return Fail(error, "missing '*' after the sector count");
    if (!in.Decimal(size) || size == 0)
        return Fail(error, "missing sector size");
    switch (in.Next()) {
    case ' ': break;
    case 'K': size *= 1024; break;
    case 'M': size *= 1024 * 1024; break;
    default: return Fail(error, "unknown size unit");
    }
    const char type = in.Next();
    if (type < 'a' || type > 'g')
        return Fail(error, "unknown sector type");
    // Checked in this order, count * size stays below 2^48: no overflow, and
    // every sector's size and address fit the 32-bit fields they go into.
    if (size > 0xFFFFFFFFull)
        return Fail(error, "sector size past 4 GiB");
    if (map.sectors.size() + count > kMaxSectors)
        return Fail(error, "too many sectors");
    if (address + count * size > 0x100000000ull)
        return Fail(error, "sectors run past the 32-bit address space");
    for (std::uint64_t i = 0; i < count; ++i) {
        map.sectors.push_back({static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(size),
                               static_cast<std::uint8_t>(type - 'a' + 1)});
        address += size;
    }
    return true;
}

}  // namespace

bool ParseMemoryMap(std::string_view text, ParsedMemoryMap& map, std::string& error) {
    map = {};
    // Descriptors sometimes carry trailing NULs or blanks; they mean nothing.
    while (!text.empty() && (text.back() == '\0' || text.back() == ' '))
        text.remove_suffix(1);
    Cursor in(text);
    if (!in.Take('@'))
        return Fail(error, "does not start with '@'");
    std::string_view name = in.Until('/');
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    map.name.assign(name);
    if (in.AtEnd())
        return Fail(error, "no address section");
    while (in.Take('/')) {
        std::uint64_t address = 0;
        if (!(in.Take('0') && (in.Take('x') || in.Take('X'))) || !in.Hex(address))
            return Fail(error, "bad start address");
        if (!in.Take('/'))
            return Fail(error, "missing '/' after the start address");
        do {
            if (!ParseSegment(in, address, map, error))
                return false;
        } while (in.Take(','));
    }
    if (!in.AtEnd())
        return Fail(error, std::string("unexpected character '") + in.Peek() + "'");
    if (map.sectors.empty())
        return Fail(error, "no sectors");
    return true;
}

DfuMapping* BuildMappingTable(const std::vector<ParsedMemoryMap>& entries, std::uint16_t transferSize,
                              const std::vector<std::uint8_t>& alternateSettings) {
    if (entries.empty() || entries.size() > 255 || alternateSettings.size() != entries.size())
        return nullptr;
    auto* table = new DfuMapping[entries.size()];
    std::memset(static_cast<void*>(table), 0, sizeof(DfuMapping) * entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        DfuMapping& e = table[i];
        e.alternateSetting = alternateSettings[i];
        e.entryCount = static_cast<std::uint8_t>(entries.size());
        e.transferSize = transferSize;
        e.sectorCount = static_cast<std::uint32_t>(entries[i].sectors.size());
        auto* sectors = new DfuMapSector[entries[i].sectors.size()];
        std::copy(entries[i].sectors.begin(), entries[i].sectors.end(), sectors);
        e.sectorTable = reinterpret_cast<std::uintptr_t>(sectors);
        const std::size_t n = std::min(entries[i].name.size(), sizeof e.name - 1);
        std::memcpy(e.name, entries[i].name.data(), n);
    }
    return table;
}

std::span<const DfuMapSector> MappingSectors(const DfuMapping& entry) {
    const auto* sectors = reinterpret_cast<const DfuMapSector*>(static_cast<std::uintptr_t>(entry.sectorTable));
    if (!sectors)
        return {};
    return {sectors, entry.sectorCount};
}

const DfuMapSector* FindSector(const DfuMapping& entry, std::uint32_t address) {
    for (const DfuMapSector& s : MappingSectors(entry)) {
        if (address >= s.address && static_cast<std::uint64_t>(address) < static_cast<std::uint64_t>(s.address) + s.size)
            return &s;
    }
    return nullptr;
}

bool RangeHasProperties(const DfuMapping& entry, std::uint32_t address, std::uint32_t length,
                        std::uint8_t properties) {
    std::uint64_t at = address;
    const std::uint64_t end = static_cast<std::uint64_t>(address) + length;
    if (length == 0)
        return false;
    while (at < end) {
        const DfuMapSector* s = FindSector(entry, static_cast<std::uint32_t>(at));
        if (!s || (s->properties & properties) != properties)
            return false;
        at = static_cast<std::uint64_t>(s->address) + s->size;
    }
    return true;
}
