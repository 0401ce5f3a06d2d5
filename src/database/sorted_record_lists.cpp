#include "database/sorted_record_lists.h"

#include <algorithm>

#include "database/buffered_file.h"
#include "database/database_record.h"

namespace {
// Flipping the sign bit makes the unsigned order of the bit pattern that of
// the signed value.
constexpr std::uint32_t kSignFlip = 0x80000000u;

std::uint32_t OrderedBits(std::int32_t value) { return static_cast<std::uint32_t>(value) ^ kSignFlip; }
std::int32_t FromOrderedBits(std::uint32_t bits) { return static_cast<std::int32_t>(bits ^ kSignFlip); }

void PutBigEndian(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}
}  // namespace

PackedRecord PackedRecord::From(const DatabaseRecord& record) {
    PackedRecord packed;
    packed.key = (static_cast<std::uint64_t>(OrderedBits(record.Coord1)) << 32) | OrderedBits(record.Coord2);
    const auto& x = record.Values;
    // x9 to x13 are attribute bytes 1 to 5, x2 is byte 6; each keeps its low 8 bits.
    for (std::size_t i = 0; i < 5; ++i)
        packed.attributes[i] = static_cast<std::uint8_t>(x[8 + i] & 0xFF);
    packed.attributes[5] = static_cast<std::uint8_t>(x[1] & 0xFF);
    return packed;
}

std::int32_t PackedRecord::Coord1() const { return FromOrderedBits(static_cast<std::uint32_t>(key >> 32)); }
std::int32_t PackedRecord::Coord2() const { return FromOrderedBits(static_cast<std::uint32_t>(key)); }

void PackedRecord::Pack(std::uint8_t* out) const {
    PutBigEndian(out, static_cast<std::uint32_t>(Coord1()));
    PutBigEndian(out + 4, static_cast<std::uint32_t>(Coord2()));
    std::copy(attributes.begin(), attributes.end(), out + 8);
}

std::size_t SortedRecordList::Insert(const PackedRecord& record) {
    // The records greater than `record` sit at the top of the tail-first
    // vector; their number is the position the walk from the head stops at.
    const auto at = std::upper_bound(tailFirst_.begin(), tailFirst_.end(), record,
                                     [](const PackedRecord& a, const PackedRecord& b) { return a.key < b.key; });
    const std::size_t position = static_cast<std::size_t>(tailFirst_.end() - at);
    tailFirst_.insert(at, record);
    return position;
}

void SortedRecordList::RemoveHead() {
    tailFirst_.pop_back();
    if (tailFirst_.empty())
        std::vector<PackedRecord>().swap(tailFirst_);
}

void SortedListTable::StartList() { lists_.emplace_back(); }

void SortedListTable::Insert(const PackedRecord& record) {
    if (lists_.empty())
        StartList();
    SortedRecordList& current = lists_.back();
    const bool wasEmpty = current.Empty();
    const std::size_t position = current.Insert(record);
    if (!wasEmpty && position > SplitDepth)
        StartList();
}

namespace {

// One list in the merge heap: its head's key beside its index, so that the
// heap's comparisons never leave the heap's own memory.
struct HeapEntry {
    std::uint64_t key;
    std::uint32_t list;
};

// The order in which heads are written: greater key first, and of equal keys
// the list created first. A strict total order, so the heap always picks the
// same list as comparing every head in table order would.
bool WrittenBefore(const HeapEntry& a, const HeapEntry& b) {
    return a.key != b.key ? a.key > b.key : a.list < b.list;
}

// Restores the heap after its top entry changed.
void SiftDownFromTop(std::vector<HeapEntry>& heap) {
    const std::size_t size = heap.size();
    const HeapEntry moving = heap[0];
    std::size_t at = 0;
    for (;;) {
        std::size_t child = 2 * at + 1;
        if (child >= size)
            break;
        if (child + 1 < size && WrittenBefore(heap[child + 1], heap[child]))
            ++child;
        if (!WrittenBefore(heap[child], moving))
            break;
        heap[at] = heap[child];
        at = child;
    }
    heap[at] = moving;
}

}  // namespace

void SortedListTable::MergeInto(BufferedFileWriter& output) {
    std::vector<HeapEntry> heap;
    heap.reserve(lists_.size());
    for (std::size_t i = 0; i < lists_.size(); ++i)
        if (!lists_[i].Empty())
            heap.push_back({lists_[i].Head().key, static_cast<std::uint32_t>(i)});
    // std::make_heap puts the greatest element by the comparison on top.
    std::make_heap(heap.begin(), heap.end(), [](const HeapEntry& a, const HeapEntry& b) { return WrittenBefore(b, a); });

    std::uint8_t bytes[PackedRecordSize];
    while (!heap.empty()) {
        SortedRecordList& winner = lists_[heap[0].list];
        winner.Head().Pack(bytes);
        output.Write(bytes, sizeof bytes);
        winner.RemoveHead();
        if (winner.Empty()) {
            heap[0] = heap.back();
            heap.pop_back();
            if (heap.empty())
                break;
        } else {
            heap[0].key = winner.Head().key;
        }
        SiftDownFromTop(heap);
    }
    Clear();
}

void SortedListTable::Clear() { std::vector<SortedRecordList>().swap(lists_); }
