// Node database layer of the PST writer: blocks, data trees, subnode trees,
// the node and block B-trees, allocation maps and the file header.
#pragma once

#include "FileFormat.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace pstwriter::detail {

// CRC used throughout the file format (reflected 0xEDB88320, no inversion).
std::uint32_t pstCrc(const char* data, std::size_t size, std::uint32_t crc = 0);
inline std::uint32_t pstCrc(const QByteArray& bytes)
{
    return pstCrc(bytes.constData(), std::size_t(bytes.size()));
}

// Block contents of the Unicode layout: 8192 minus the 16-byte trailer. The
// ANSI layout's trailer has 12 bytes, so its blocks hold up to 8180; values
// split in pieces of this size fit every layout.
constexpr int kMaxBlockData = 8176;

// Largest block contents of a layout (8192 minus its block trailer; 65536
// minus the 24-byte trailer with 4 KiB pages).
int maxBlockData(PstFormat format);

// Stored form of a data block's bytes; the cyclic scheme is keyed by the
// block id's low 32 bits.
QByteArray encodeBlock(PstEncoding encoding, std::uint32_t key, QByteArray data);

struct NdbOptions {
    PstFormat format = PstFormat::Unicode;
    PstEncoding encoding = PstEncoding::None;
    PstKind kind = PstKind::Pst;
    bool compress = false;  // zlib-compressed blocks (Unicode4K only)
};

struct SubnodeEntry {
    std::uint32_t nid = 0;
    std::uint64_t bidData = 0;
    std::uint64_t bidSub = 0;
};

struct HeaderValues {
    std::uint32_t rgnid[32] = {};
    std::uint32_t dwUnique = 1;
};

class NdbFile {
public:
    NdbFile(const QString& path, const NdbOptions& options);
    ~NdbFile();
    NdbFile(const NdbFile&) = delete;
    NdbFile& operator=(const NdbFile&) = delete;

    // One block; internal blocks (X/XX/SL/SI) get the internal bit in their
    // id. `whole`: the block is all of a node's data, not a part a data tree
    // lists (only such blocks are compressed).
    std::uint64_t writeBlock(const QByteArray& data, bool internal = false, bool whole = true);
    // A data tree over pieces of at most maxBlockData() bytes each (one block,
    // an XBLOCK or an XXBLOCK). Returns 0 for no pieces.
    std::uint64_t writeData(const std::vector<QByteArray>& pieces);
    // Splits plain bytes into blocks.
    std::uint64_t writeBytes(const QByteArray& bytes);
    // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs). Returns 0 for none.
    std::uint64_t writeSubnodes(std::vector<SubnodeEntry> entries);
    // Counts one more reference to a block written before (shared blocks).
    void addReference(std::uint64_t bid);

    void addNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub, std::uint32_t nidParent);

    // Writes the B-trees, the maps and the header, and closes the file.
    void finish(const HeaderValues& values);

    int maxBlockData() const { return m_maxData; }

private:
    struct BbtEntry {
        std::uint64_t bid, ib;
        std::uint16_t cb;  // as stored
        std::uint16_t cbInflated;  // before compression
        std::uint32_t refs;
    };
    struct NbtEntry {
        std::uint32_t nid;
        std::uint64_t bidData, bidSub;
        std::uint32_t parent;
    };

    bool ansi() const { return m_options.format == PstFormat::Ansi; }
    bool largePages() const { return m_options.format == PstFormat::Unicode4K; }
    void putId(QByteArray& b, int at, std::uint64_t v) const;  // a block id or offset: 4 or 8 bytes
    QByteArray header(const HeaderValues& values, std::uint64_t eof, std::uint64_t amapLast, std::uint64_t freeBytes,
                      std::uint64_t nbtBid, std::uint64_t nbtIb, std::uint64_t bbtBid, std::uint64_t bbtIb) const;
    std::uint64_t allocate(std::uint64_t size, std::uint64_t align);
    void put(std::uint64_t ib, const QByteArray& bytes);
    void flushTail();
    void markAllocated(std::uint64_t ib, std::uint64_t size);
    std::uint64_t reservedEnd(std::uint64_t amapIndex) const;
    std::uint64_t writePage(QByteArray page, std::uint8_t ptype, std::uint64_t ib, std::uint64_t bid, bool signature);
    std::uint64_t writeBTree(std::uint8_t ptype, const std::vector<QByteArray>& leafEntries, int leafSize,
                             std::vector<std::uint64_t> keys, std::uint64_t* rootBid);

    NdbOptions m_options;
    int m_idSize = 8;  // bytes of a block id or file offset
    int m_trailerSize = 16;  // bytes of a block trailer
    int m_maxData = 8176;  // largest block contents
    int m_pageSize = 512;  // B-tree and map pages
    int m_pageData = 496;  // page bytes before the page trailer (the CRC covers them)
    int m_pageEntries = 488;  // B-tree page bytes for entries
    std::uint64_t m_blockAlign = 64;  // blocks start on and fill multiples of this
    std::uint64_t m_firstAMap = 0x4400;  // the first allocation map
    std::uint64_t m_mapUnit = 64;  // bytes one bit of an allocation map stands for
    int m_mapBytes = 496;  // bytes of bits in an allocation map
    std::uint64_t amapCoverage() const { return std::uint64_t(m_mapBytes) * 8 * m_mapUnit; }
    QFile m_file;
    std::uint64_t m_cursor = 0;  // next free byte for sequential allocation
    std::uint64_t m_tailStart = 0;  // file offset of m_tail[0]
    QByteArray m_tail;  // not yet flushed bytes
    std::vector<std::uint8_t> m_amapBits;  // one bit per m_mapUnit bytes from m_firstAMap
    std::uint64_t m_nextBid = 4;
    std::uint64_t m_nextPageBid = 1;
    std::vector<BbtEntry> m_bbt;
    std::vector<NbtEntry> m_nbt;
};

}  // namespace pstwriter::detail
