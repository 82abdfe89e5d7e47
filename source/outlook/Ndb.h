#pragma once
// The node database of an open data file: nodes found in the node B-tree,
// blocks found in the block B-tree and read with their checks, data trees
// and sub-node trees. Nothing is read ahead: every lookup walks the B-trees
// from the root through a small cache of pages.

#include "source/outlook/Block.h"
#include "source/outlook/Header.h"
#include "source/outlook/Page.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace outlook::pst {

class Ndb {
public:
    // Opens the file read-only. Throws OutlookError with the cause when it is
    // missing, not a regular file, unreadable, or not a data file this reader
    // reads (see Header::parse).
    static std::unique_ptr<Ndb> open(const QString& path);
    ~Ndb();
    Ndb(const Ndb&) = delete;
    Ndb& operator=(const Ndb&) = delete;

    const Header& header() const { return header_; }
    Layout layout() const { return header_.geometry.layout; }
    const Geometry& geometry() const { return header_.geometry; }

    // The node with this id; nullopt when the node B-tree has none.
    std::optional<NodeEntry> findNode(std::uint32_t nid);
    // Throws when the node is missing.
    NodeEntry node(std::uint32_t nid);

    // One block's data, its trailer and CRC checked, inflated when stored
    // compressed, its encoding undone.
    Bytes readBlock(std::uint64_t bid);
    // The size of that data, from the block B-tree alone.
    std::size_t blockSize(std::uint64_t bid);
    // The data blocks of a node's data, in order: the block itself, or the
    // blocks its data tree lists.
    std::vector<std::uint64_t> dataBlocks(std::uint64_t bid);
    // A node's whole data, its blocks joined.
    Bytes readData(std::uint64_t bid);
    // An entry of a node's sub-node tree; nullopt when the tree has none.
    std::optional<SubnodeEntry> findSubnode(std::uint64_t bidSub, std::uint32_t nid);

private:
    Ndb() = default;
    BlockEntry findBlock(std::uint64_t bid);
    // One of the two B-trees, and which bits of its keys count.
    struct BTreeKind {
        BlockRef root;
        PageType pageType;
        int leafEntrySize;
        std::uint64_t leafKeyMask;
        std::uint64_t innerKeyMask;
        const char* name;  // "node" or "block", for the messages
    };
    // Walks `tree` from its root to the leaf entry whose masked key is `key`;
    // null when there is none.
    const std::uint8_t* findEntry(const BTreeKind& tree, std::uint64_t key);
    const std::uint8_t* page(const BlockRef& ref, PageType type);
    void readAt(std::uint64_t offset, void* into, std::size_t size);

    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    Header header_;

    // Cache of checked B-tree pages (1 MiB: 2048 pages of 512 bytes, 256 of
    // 4 KiB), two ways to a set: the leaves a list's members lead to stay in
    // it more often, and a node B-tree leaf and a block B-tree leaf used in
    // turn do not push each other out when their offsets fall into the same
    // set. Each set keeps the way used last; a page read replaces the other.
    static constexpr std::size_t kCacheBytes = 1024 * 1024;
    struct CachedPage {
        std::uint64_t ib = ~std::uint64_t(0);
        std::uint8_t type = 0;
        bool usedLast = false;
    };
    std::vector<CachedPage> cached_;
    int pageShift_ = 9;  // log2 of the page size
    std::size_t setMask_ = 0;  // sets - 1
    std::unique_ptr<std::uint8_t[]> cachedBytes_;  // cached_.size() pages, in the same order

    // The leaves the items of a folder lead to mostly lie one after the
    // other in the file, a run for each tree. Once a tree's pages are missed
    // in order (a page right after the one missed before), the pages that
    // follow are read in one go and taken from there; a page missed out of
    // order is read on its own.
    static constexpr std::size_t kPagesPerRun = 32;
    struct PageRun {
        std::uint64_t start = 0;
        std::size_t size = 0;
        std::uint64_t nextMiss = ~std::uint64_t(0);  // the page after the last one missed
        std::unique_ptr<std::uint8_t[]> bytes;
    };
    std::array<PageRun, 2> pageRuns_;  // node B-tree, block B-tree
    void readPage(std::uint64_t ib, PageType type, std::uint8_t* into);

    // Blocks read one after the other (the items of a folder) come out of a
    // window of the file read in one go; others are read on their own.
    static constexpr std::size_t kWindowSize = 64 * 1024;
    struct Window {
        std::uint64_t start = 0;
        std::size_t size = 0;
        std::unique_ptr<std::uint8_t[]> bytes;
    } window_;
    std::uint64_t readEnd_ = 0;  // where the last read ended
    Bytes scratch_;
    // Inflates compressed blocks; made at the first one.
    struct FreeDecompressor {
        void operator()(libdeflate_decompressor* d) const;
    };
    std::unique_ptr<libdeflate_decompressor, FreeDecompressor> decompressor_;
    // `size` bytes at `offset`, valid until the next read.
    const std::uint8_t* readRaw(std::uint64_t offset, std::size_t size);
};

}  // namespace outlook::pst
