#pragma once
// A direct reader for the property contexts of messages in Unicode data
// files. libpff finds a message by walking a list of all messages of its
// folder, which makes reading a folder of n items cost n^2; this reader
// looks a node up in the file's node and block B-trees instead, so each item
// costs the same however large its folder is. Used alongside libpff (which
// opens, validates and walks the folder hierarchy); files it does not handle
// (ANSI files, cyclic encoding) are read through libpff alone.

#include "source/outlook/Pff.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace outlook::pff {

class PstReader {
public:
    // Off: stores opened from now on read every item through libpff. For
    // tests that cover the path ANSI files take.
    static void setEnabled(bool enabled);

    // A reader for the file, or null when the file is not of a kind it reads.
    static std::unique_ptr<PstReader> open(const QString& path);
    ~PstReader();
    PstReader(const PstReader&) = delete;
    PstReader& operator=(const PstReader&) = delete;

    // Every property of the node's property context. Throws OutlookError
    // when the node does not exist or its data is damaged.
    PropertyBag readProperties(std::uint32_t nid);
    // The parent node id the node B-tree records for the node; throws when
    // the node does not exist.
    std::uint32_t parentOf(std::uint32_t nid);

private:
    PstReader() = default;

    struct NodeEntry {
        std::uint64_t bidData = 0;
        std::uint64_t bidSub = 0;
        std::uint32_t parent = 0;
    };
    struct BlockEntry {
        std::uint64_t offset = 0;
        std::uint16_t size = 0;
    };
    using Page = std::array<std::uint8_t, 512>;

    const Page& page(std::uint64_t offset, std::uint8_t type);
    NodeEntry findNode(std::uint32_t nid);
    BlockEntry findBlock(std::uint64_t bid);
    std::vector<std::uint8_t> readBlock(std::uint64_t bid);
    // The data blocks of a node's data, in order.
    std::vector<std::vector<std::uint8_t>> readNodeBlocks(std::uint64_t bid);
    std::vector<std::uint8_t> readNodeData(std::uint64_t bid);
    // The data of a subnode of a node.
    std::vector<std::uint8_t> readSubnode(std::uint64_t bidSub, std::uint32_t nid);
    void readFile(std::uint64_t offset, void* into, std::size_t size);

    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    std::uint64_t nbtRoot_ = 0;
    std::uint64_t bbtRoot_ = 0;
    bool permute_ = false;
    std::unordered_map<std::uint64_t, Page> pages_;
};

}  // namespace outlook::pff
