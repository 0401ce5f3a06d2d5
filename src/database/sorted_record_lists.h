#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class DatabaseRecord;
class BufferedFileWriter;

// A decoded record as the sorted lists keep it: the key (Coord1, Coord2) in
// one integer whose order is the key's order, and the six attribute bytes in
// their packed order.
struct PackedRecord {
    std::uint64_t key = 0;
    std::array<std::uint8_t, 6> attributes{};

    static PackedRecord From(const DatabaseRecord& record);
    std::int32_t Coord1() const;
    std::int32_t Coord2() const;
    // The 14 bytes of the packed database, big-endian coordinates first.
    void Pack(std::uint8_t* out) const;
};

inline constexpr std::size_t PackedRecordSize = 14;
inline constexpr std::size_t PackedHeaderSize = 5;

// One sorted list: descending key from the head, and a new record goes before
// the records with an equal key. Stored tail first in one vector, so that the
// common insertions (at or near the head) and the removal of the head at the
// merge touch only the end of the vector.
class SortedRecordList {
public:
    // Inserts before the first record, walking from the head, that is not
    // greater than `record`; returns that position (0 is the head).
    std::size_t Insert(const PackedRecord& record);
    bool Empty() const { return tailFirst_.empty(); }
    std::size_t Size() const { return tailFirst_.size(); }
    const PackedRecord& Head() const { return tailFirst_.back(); }
    // Removes the head; the list releases its storage once empty.
    void RemoveHead();

private:
    std::vector<PackedRecord> tailFirst_;
};

// The table of sorted lists in the order of their creation, with the current
// list that new records go into. It grows as far as the input needs.
class SortedListTable {
public:
    // A record that lands deeper than this position starts a new list.
    static constexpr std::size_t SplitDepth = 100;

    // Appends a new empty list and makes it the current one.
    void StartList();
    // Inserts into the current list (starting one if there is none yet) and
    // starts a new list when the record landed deeper than SplitDepth.
    void Insert(const PackedRecord& record);
    // Writes every record as 14 packed bytes, greatest key first; of equal
    // heads, the list created first wins. Leaves the table empty.
    void MergeInto(BufferedFileWriter& output);
    void Clear();

    std::size_t ListCount() const { return lists_.size(); }

private:
    std::vector<SortedRecordList> lists_;
};
