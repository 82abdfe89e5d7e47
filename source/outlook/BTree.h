#pragma once
// The entries of the node B-tree (NBT) and the block B-tree (BBT): inner
// entries (BTENTRY) lead to the page below; leaves hold NBTENTRY (a node:
// its data block, its sub-node tree, its parent) or BBTENTRY (a block: where
// it is and how large).

#include "source/outlook/Format.h"

namespace outlook::pst {

struct NodeEntry {
    std::uint32_t nid = 0;
    std::uint64_t bidData = 0;
    std::uint64_t bidSub = 0;
    std::uint32_t parent = 0;  // nidParent
};

struct BlockEntry {
    std::uint64_t bid = 0;
    std::uint64_t ib = 0;
    std::uint16_t cb = 0;  // bytes of data as stored, without the trailer
    std::uint16_t cbInflated = 0;  // bytes of data once inflated: cb unless the block is compressed
};

// Entry sizes of each layout: BTENTRY, NBTENTRY, BBTENTRY (the same with 4
// KiB pages).
inline int innerEntrySize(Layout l)
{
    return l == Layout::Unicode ? 24 : 12;
}
inline int nodeEntrySize(Layout l)
{
    return l == Layout::Unicode ? 32 : 16;
}
inline int blockEntrySize(Layout l)
{
    return l == Layout::Unicode ? 24 : 12;
}

// BTENTRY: btkey, then the reference (bid, ib) of the page below.
inline std::uint64_t innerKey(const std::uint8_t* e, Layout l)
{
    return wide(e, l);
}
inline std::uint64_t innerBid(const std::uint8_t* e, Layout l)
{
    return wide(e + wideSize(l), l);
}
inline std::uint64_t innerIb(const std::uint8_t* e, Layout l)
{
    return wide(e + 2 * wideSize(l), l);
}

inline NodeEntry nodeEntry(const std::uint8_t* e, Layout l)
{
    const std::size_t w = wideSize(l);
    return NodeEntry{std::uint32_t(wide(e, l)), wide(e + w, l), wide(e + 2 * w, l), u32(e + 3 * w)};
}

// The inflated size a block's trailer or entry gives for `cb` stored bytes:
// a block is compressed when both sizes are set and differ.
inline std::uint16_t inflatedSize(std::uint16_t cb, std::uint16_t cbInflated)
{
    return cb == 0 || cbInflated == 0 ? cb : cbInflated;
}

// BBTENTRY: the reference (bid, ib), cb, then cRef; in files with 4 KiB
// pages the inflated size comes between cb and cRef.
inline BlockEntry blockEntry(const std::uint8_t* e, const Geometry& g)
{
    const Layout l = g.layout;
    const std::size_t w = wideSize(l);
    const std::uint16_t cb = u16(e + 2 * w);
    return BlockEntry{wide(e, l), wide(e + w, l), cb, g.largePages ? inflatedSize(cb, u16(e + 2 * w + 2)) : cb};
}

// Block ids: bit 1 marks an internal block (one that lists other blocks);
// bit 0 is reserved and ignored when looking blocks up.
inline bool isInternal(std::uint64_t bid)
{
    return (bid & 2) != 0;
}
inline std::uint64_t blockKey(std::uint64_t bid)
{
    return bid & ~std::uint64_t(1);
}

}  // namespace outlook::pst
