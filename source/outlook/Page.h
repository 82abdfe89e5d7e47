#pragma once
// A B-tree page (BTPAGE) of the node or block B-tree: the entries, their
// count, size and level, and the page trailer (PAGETRAILER). Pages are 512
// bytes, or 4 KiB in files of that variant.

#include "source/outlook/Format.h"

namespace outlook::pst {

enum PageType : std::uint8_t {
    kPageBlockBTree = 0x80,  // ptypeBBT
    kPageNodeBTree = 0x81,  // ptypeNBT
};

struct BTreePage {
    const std::uint8_t* entries = nullptr;  // rgentries
    int count = 0;  // cEnt
    int entrySize = 0;  // cbEnt
    int level = 0;  // cLevel: 0 for leaves
};

// Checks the trailer of the page read from offset `ib`, reached through a
// reference with id `bid`, as a page of `type`: kind, CRC, id, signature.
// Damage throws.
void checkPageTrailer(const std::uint8_t* page, const Geometry& g, PageType type, std::uint64_t bid, std::uint64_t ib);

// The entries of a checked page; impossible counts throw.
BTreePage parseBTreePage(const std::uint8_t* page, const Geometry& g);

}  // namespace outlook::pst
