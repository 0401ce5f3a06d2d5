#include "reference_conversion.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

namespace {

struct RefRecord {
    int c[13] = {};
    int key = 0;
    std::int32_t coord1 = 0;
    std::int32_t coord2 = 0;
};

// One expression per coordinate, left to right, as the format defines it.
std::int32_t Coordinate(int degrees, int minutes, int seconds) {
    return static_cast<std::int32_t>((seconds * 0.0002777777777777778) * 10000.0 + minutes * 166.66666666666666 +
                                     degrees * 10000.0);
}

void Decode(RefRecord& r) {
    r.key = 355 - r.c[4];
    int x[13];
    for (int i = 0; i < 13; ++i) {
        x[i] = i == 4 ? r.c[4] - 100 : r.key - r.c[i];
        if (x[i] < 0)
            x[i] = 0;
    }
    for (int i = 0; i < 13; ++i)
        r.c[i] = x[i];
    r.coord1 = Coordinate(x[2], x[3], x[4]);
    r.coord2 = Coordinate(x[6], x[7], x[5]);
}

bool Greater(const RefRecord& a, const RefRecord& b) {
    return a.coord1 > b.coord1 || (a.coord1 == b.coord1 && a.coord2 > b.coord2);
}

// First pass: up to 30 buffers of up to 5,002 records; a record is every byte
// up to its NUL, and one that does not fit 300 bytes with its NUL is counted
// but not kept.
std::vector<std::string> SplitIntoBuffers(const std::string& text, std::uint32_t& records) {
    records = 0;
    std::vector<std::string> buffers;
    std::size_t pos = 0;
    for (int file = 0; file < 30; ++file) {
        buffers.emplace_back();
        for (int n = 0; n < 5002; ++n) {
            std::string raw;
            bool ended = false;
            for (;;) {
                if (pos == text.size()) {
                    ended = true;
                    break;
                }
                const char c = text[pos++];
                if (c == '\0')
                    break;
                raw += c;
            }
            if (ended)
                return buffers;
            ++records;
            if (raw.size() + 1 > 300)
                continue;
            for (char c : raw)
                if (c != '\r' && c != '\n')
                    buffers.back() += c;
            buffers.back() += '\0';
        }
    }
    return buffers;
}

// Reads one record; -1 at the end, else the number of characters (more than
// 13 for a record that does not fit).
int ReadRecord(const std::string& buffer, std::size_t& pos, RefRecord& r) {
    int count = 0;
    for (;;) {
        if (pos == buffer.size())
            return -1;
        const unsigned char c = static_cast<unsigned char>(buffer[pos++]);
        if (c == 0)
            break;
        if (count < 13)
            r.c[count] = c;
        ++count;
    }
    if (count == 13)
        Decode(r);
    return count;
}

using RefList = std::list<RefRecord>;

}  // namespace

ReferenceResult ReferenceConvert(const std::string& text) {
    std::uint32_t textRecords = 0;
    const std::vector<std::string> buffers = SplitIntoBuffers(text, textRecords);
    std::vector<std::unique_ptr<RefList>> table;
    RefList* current = nullptr;
    std::uint32_t count = 0;
    for (const std::string& buffer : buffers) {
        table.push_back(std::make_unique<RefList>());
        current = table.back().get();
        std::size_t pos = 0;
        RefRecord r;
        int got;
        while ((got = ReadRecord(buffer, pos, r)) != -1) {
            if (got != 13)
                continue;
            ++count;
            if (current->empty()) {
                current->push_back(r);
                continue;
            }
            std::size_t i = 0;
            auto it = current->begin();
            while (it != current->end() && Greater(*it, r)) {
                ++it;
                ++i;
            }
            current->insert(it, r);
            if (i > 100) {
                table.push_back(std::make_unique<RefList>());
                current = table.back().get();
            }
        }
    }
    if (count == 0)
        return {"", "", textRecords, 0};

    std::string out;
    auto put32 = [&out](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((v >> shift) & 0xFF);
    };
    put32(count);
    out += '\x01';
    for (;;) {
        RefList* best = nullptr;
        for (auto& list : table)
            if (!list->empty() && (best == nullptr || Greater(list->front(), best->front())))
                best = list.get();
        if (best == nullptr)
            break;
        const RefRecord& r = best->front();
        put32(static_cast<std::uint32_t>(r.coord1));
        put32(static_cast<std::uint32_t>(r.coord2));
        for (int i = 8; i < 13; ++i)
            out += static_cast<char>(r.c[i] & 0xFF);
        out += static_cast<char>(r.c[1] & 0xFF);
        best->pop_front();
    }
    return {"SUCCESS", out, textRecords, count};
}
