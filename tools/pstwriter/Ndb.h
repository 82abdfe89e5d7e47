// Node database layer of the PST writer: blocks, data trees, subnode trees,
// the node and block B-trees, allocation maps and the file header.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace pstwriter::detail {

// CRC used throughout the file format (reflected 0xEDB88320, no inversion).
std::uint32_t pstCrc(const char *data, std::size_t size, std::uint32_t crc = 0);
inline std::uint32_t pstCrc(const QByteArray &bytes) { return pstCrc(bytes.constData(), std::size_t(bytes.size())); }

constexpr int kMaxBlockData = 8176;   // 8192 minus the block trailer

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
    explicit NdbFile(const QString &path);
    ~NdbFile();
    NdbFile(const NdbFile &) = delete;
    NdbFile &operator=(const NdbFile &) = delete;

    // One block; internal blocks (X/XX/SL/SI) get the internal bit in their id.
    std::uint64_t writeBlock(const QByteArray &data, bool internal = false);
    // A data tree over pieces of at most kMaxBlockData bytes each (one block,
    // an XBLOCK or an XXBLOCK). Returns 0 for no pieces.
    std::uint64_t writeData(const std::vector<QByteArray> &pieces);
    // Splits plain bytes into blocks.
    std::uint64_t writeBytes(const QByteArray &bytes);
    // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs). Returns 0 for none.
    std::uint64_t writeSubnodes(std::vector<SubnodeEntry> entries);
    // Counts one more reference to a block written before (shared blocks).
    void addReference(std::uint64_t bid);

    void addNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub, std::uint32_t nidParent);

    // Writes the B-trees, the maps and the header, and closes the file.
    void finish(const HeaderValues &values);

private:
    struct BbtEntry { std::uint64_t bid, ib; std::uint16_t cb; std::uint32_t refs; };
    struct NbtEntry { std::uint32_t nid; std::uint64_t bidData, bidSub; std::uint32_t parent; };

    std::uint64_t allocate(std::uint64_t size, std::uint64_t align);
    void put(std::uint64_t ib, const QByteArray &bytes);
    void flushTail();
    void markAllocated(std::uint64_t ib, std::uint64_t size);
    std::uint64_t reservedEnd(std::uint64_t amapIndex) const;
    std::uint64_t writePage(QByteArray page, std::uint8_t ptype, std::uint64_t ib, std::uint64_t bid, bool signature);
    std::uint64_t writeBTree(std::uint8_t ptype, const std::vector<QByteArray> &leafEntries, int leafSize,
                             std::vector<std::uint64_t> keys, std::uint64_t *rootBid);

    QFile m_file;
    std::uint64_t m_cursor = 0;          // next free byte for sequential allocation
    std::uint64_t m_tailStart = 0;       // file offset of m_tail[0]
    QByteArray m_tail;                   // not yet flushed bytes
    std::vector<std::uint8_t> m_amapBits;  // one bit per 64 bytes from 0x4400
    std::uint64_t m_nextBid = 4;
    std::uint64_t m_nextPageBid = 1;
    std::vector<BbtEntry> m_bbt;
    std::vector<NbtEntry> m_nbt;
};

}  // namespace pstwriter::detail
