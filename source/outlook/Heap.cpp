#include "source/outlook/Heap.h"

namespace outlook::pst {

namespace {
constexpr std::uint8_t kHeapSignature = 0xEC;  // bSig of HNHDR
constexpr std::uint8_t kBthType = 0xB5;  // bType of BTHHEADER
}  // namespace

Heap::Heap(Ndb& ndb, std::uint64_t bidData, HeapClient client)
    : ndb_(ndb)
{
    if (bidData == 0)
        damaged("a node has no data");
    if (isInternal(bidData)) {
        bids_ = ndb.dataBlocks(bidData);
        count_ = bids_.size();
        firstBid_ = bids_.front();
        more_.resize(count_ - 1);
    } else {
        count_ = 1;
        firstBid_ = bidData;
    }
    // HNHDR: ibHnpm, bSig, bClientSig, hidUserRoot, rgbFillLevel.
    const Bytes& first = block(0);
    if (first.size() < 12 || first[2] != kHeapSignature)
        damaged("a node is not a heap");
    if (first[3] != client)
        damaged(client == kHeapPropertyContext ? "a node is not a property context" : "a node is not a table");
    userRoot_ = u32(first.data() + 4);
}

const Bytes& Heap::block(std::size_t index)
{
    Bytes& b = index == 0 ? first_ : more_[index - 1];
    if (b.empty()) {
        b = ndb_.readBlock(index == 0 ? firstBid_ : bids_[index]);
        if (b.empty())
            damaged("a heap block is empty");
    }
    return b;
}

Span Heap::allocation(std::uint32_t hid)
{
    if (hid == 0)
        return {};
    // HID: type (5 bits, 0), index from 1 (11 bits), block index (16 bits);
    // with 4 KiB pages, whose blocks hold more allocations, the index has 14
    // bits and the block index 13.
    if (hid & 0x1F)
        damaged("a heap reference is not a heap reference");
    const bool wide = ndb_.geometry().largePages;
    const std::size_t blockIndex = hid >> (wide ? 19 : 16);
    const std::size_t index = (hid >> 5) & (wide ? 0x3FFF : 0x7FF);
    if (blockIndex >= count_ || index == 0)
        damaged("a heap reference points nowhere");
    const Bytes& b = block(blockIndex);
    // Every block starts with ibHnpm, the offset of its HNPAGEMAP: cAlloc,
    // cFree, then cAlloc + 1 offsets.
    if (b.size() < 2)
        damaged("a heap block is too short");
    const std::size_t map = u16(b.data());
    if (map + 4 > b.size())
        damaged("a heap block map is out of place");
    const std::size_t allocs = u16(b.data() + map);
    if (index > allocs || map + 4 + (allocs + 1) * 2 > b.size())
        damaged("a heap reference points nowhere");
    const std::size_t from = u16(b.data() + map + 4 + (index - 1) * 2);
    const std::size_t to = u16(b.data() + map + 4 + index * 2);
    if (from > to || to > map)
        damaged("a heap allocation is out of place");
    return {b.data() + from, to - from};
}

void Heap::handBlocksTo(std::vector<Bytes>& keeper)
{
    if (!first_.empty())
        keeper.push_back(std::move(first_));
    for (Bytes& b : more_)
        if (!b.empty())
            keeper.push_back(std::move(b));
    first_.clear();
    for (Bytes& b : more_)
        b.clear();
}

HeapBTree::HeapBTree(Heap& heap, std::uint32_t hid)
    : heap_(heap)
{
    // BTHHEADER: bType, cbKey, cbEnt, bIdxLevels, hidRoot.
    const Span h = heap.allocation(hid);
    if (h.size < 8 || h.data[0] != kBthType)
        damaged("a heap B-tree has no valid header");
    keySize_ = h.data[1];
    dataSize_ = h.data[2];
    levels_ = h.data[3];
    root_ = u32(h.data + 4);
    if (keySize_ != 2 && keySize_ != 4 && keySize_ != 8 && keySize_ != 16)
        damaged("a heap B-tree has an impossible key size");
    if (dataSize_ < 1 || dataSize_ > 32 || levels_ > 8)
        damaged("a heap B-tree is inconsistent");
}

}  // namespace outlook::pst
