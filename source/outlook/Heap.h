#pragma once
// The heap-on-node (HN) over a node's data blocks: allocations named by heap
// ids (HID), the client signature and the client's root allocation; and the
// B-tree-on-heap (BTH) that property and table contexts keep in it. Blocks
// are read when an allocation in them is first asked for.

#include "source/outlook/Ndb.h"

#include <functional>

namespace outlook::pst {

enum HeapClient : std::uint8_t {
    kHeapTableContext = 0x7C,     // bTypeTC
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
    // The blocks read so far, for whoever keeps spans beyond the heap's life.
    std::vector<Bytes> takeBlocks();

private:
    const Bytes& block(std::size_t index);

    Ndb& ndb_;
    std::vector<std::uint64_t> bids_;
    std::vector<Bytes> blocks_;
    std::vector<bool> loaded_;
    std::uint32_t userRoot_ = 0;
};

// A BTH (BTHHEADER at `hid`): sorted records of a key and data.
class HeapBTree {
public:
    HeapBTree(Heap& heap, std::uint32_t hid);
    int keySize() const { return keySize_; }
    int dataSize() const { return dataSize_; }
    // Calls `leaf` with each leaf record (key, then data), in key order.
    void forEach(const std::function<void(const std::uint8_t*)>& leaf);

private:
    Heap& heap_;
    int keySize_ = 0;
    int dataSize_ = 0;
    int levels_ = 0;
    std::uint32_t root_ = 0;
};

}  // namespace outlook::pst
