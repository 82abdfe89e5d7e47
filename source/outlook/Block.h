#pragma once
// Blocks: the block trailer (BLOCKTRAILER) every block ends with, the data
// tree blocks (XBLOCK, XXBLOCK) that list the data blocks of a large node,
// and the sub-node tree blocks (SLBLOCK, SIBLOCK) that list a node's
// sub-nodes.

#include "source/outlook/BTree.h"
#include "source/outlook/Format.h"

#include <optional>

struct libdeflate_decompressor;

namespace outlook::pst {

// Size of the whole block on disk for `cb` bytes of stored data.
inline std::size_t blockSizeOnDisk(std::size_t cb, const Geometry& g)
{
    return (cb + g.blockTrailerSize + g.blockAlignment - 1) / g.blockAlignment * g.blockAlignment;
}
// The most data one block holds once inflated.
inline std::size_t maxBlockData(const Geometry& g)
{
    return g.maxBlockSize - g.blockTrailerSize;
}

// Checks the trailer at the end of `stored` (the block as read, trailer
// included) against the block B-tree's entry for it, and the CRC of its data.
// Damage throws.
void checkBlockTrailer(const std::uint8_t* stored, std::size_t storedSize, const BlockEntry& entry, const Geometry& g);

// Inflates the `entry.cb` zlib-compressed bytes at `stored` to the
// `entry.cbInflated` bytes at `to`, with a decompressor of the caller's
// (libdeflate's, kept for the file). Data that does not inflate to exactly
// that size throws.
void inflateBlock(const std::uint8_t* stored, const BlockEntry& entry, std::uint8_t* to,
                  libdeflate_decompressor* decompressor);

// XBLOCK / XXBLOCK: the ids it lists, in order. `level` is 1 (data blocks)
// or 2 (XBLOCKs); lcbTotal is the node's total data size.
struct DataTreeBlock {
    int level = 0;
    std::uint32_t totalSize = 0;
    std::vector<std::uint64_t> children;
};
DataTreeBlock parseDataTreeBlock(const Bytes& block, Layout l);

// SLBLOCK (level 0) / SIBLOCK (level 1).
struct SubnodeEntry {
    std::uint32_t nid = 0;
    std::uint64_t bidData = 0;
    std::uint64_t bidSub = 0;
};
struct SubnodeBlock {
    int level = 0;
    // Leaves: the entries; inner blocks: nid and bid of the block below (bidData).
    std::vector<SubnodeEntry> entries;
};
SubnodeBlock parseSubnodeBlock(const Bytes& block, Layout l);

}  // namespace outlook::pst
