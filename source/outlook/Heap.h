#pragma once
// The heap-on-node (HN) over a node's data blocks: allocations named by heap
// ids (HID), the client signature and the client's root allocation; and the
// B-tree-on-heap (BTH) that property and table contexts keep in it. Blocks
// are read when an allocation in them is first asked for.

#include "source/outlook/Ndb.h"

namespace outlook::pst {

enum HeapClient : std::uint8_t {
    kHeapTableContext = 0x7C,  // bTypeTC
    kHeapPropertyContext = 0xBC,  // bTypePC
};

class Heap {
public:
    // The heap of the node whose data starts at `bidData`; throws when its
    // first block is not a heap of the client `client`.
    Heap(Ndb& ndb, std::uint64_t bidData, HeapClient client);

    std::uint32_t userRoot() const { return userRoot_; }  // hidUserRoot
    // The bytes of an allocation; an empty span for HID 0. Bad ids throw.
    Span allocation(std::uint32_t hid);
    // Moves the blocks read so far to `keeper`, for whoever keeps spans
    // beyond the heap's life (moving a buffer does not move its bytes).
    void handBlocksTo(std::vector<Bytes>& keeper);

private:
    const Bytes& block(std::size_t index);

    Ndb& ndb_;
    // Most heaps are one block; larger ones list theirs in a data tree.
    // A block not read yet is empty (a heap block never is).
    std::size_t count_ = 0;
    std::uint64_t firstBid_ = 0;
    Bytes first_;
    std::vector<std::uint64_t> bids_;
    std::vector<Bytes> more_;
    std::uint32_t userRoot_ = 0;
};

// A BTH (BTHHEADER at `hid`): sorted records of a key and data.
class HeapBTree {
public:
    HeapBTree(Heap& heap, std::uint32_t hid);
    int keySize() const { return keySize_; }
    int dataSize() const { return dataSize_; }
    // Calls `leaf` with each leaf record (key, then data), in key order.
    template <class Leaf> void forEach(Leaf&& leaf)
    {
        std::size_t visits = 0;
        if (root_ != 0)
            walk(root_, levels_, visits, leaf);
    }

private:
    template <class Leaf> void walk(std::uint32_t hid, int level, std::size_t& visits, Leaf& leaf)
    {
        // Inner records could name the same allocation over and over; the
        // walk gives up long before that multiplies into real work.
        if (++visits > kMaxVisits)
            damaged("a heap B-tree loops back on itself");
        const Span s = heap_.allocation(hid);
        const std::size_t record = std::size_t(keySize_) + (level == 0 ? std::size_t(dataSize_) : 4);
        if (s.size % record != 0)
            damaged("a heap B-tree node has a partial record");
        for (std::size_t at = 0; at < s.size; at += record) {
            if (level == 0)
                leaf(s.data + at);
            else
                walk(u32(s.data + at + keySize_), level - 1, visits, leaf);
        }
    }
    static constexpr std::size_t kMaxVisits = 1u << 20;

    Heap& heap_;
    int keySize_ = 0;
    int dataSize_ = 0;
    int levels_ = 0;
    std::uint32_t root_ = 0;
};

}  // namespace outlook::pst
