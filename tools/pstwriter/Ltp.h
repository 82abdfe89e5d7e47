// Lists, tables and properties layer of the PST writer: heap-on-node,
// BTH, property contexts and table contexts, encoded into node contents.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace pstwriter::detail {

constexpr int kMaxHeapAlloc = 3580;

// Property types.
enum : std::uint16_t {
    PT_SHORT = 0x0002,
    PT_LONG = 0x0003,
    PT_BOOLEAN = 0x000B,
    PT_I8 = 0x0014,
    PT_STRING8 = 0x001E,
    PT_UNICODE = 0x001F,
    PT_SYSTIME = 0x0040,
    PT_CLSID = 0x0048,
    PT_BINARY = 0x0102,
    PT_MV_LONG = 0x1003,
    PT_MV_STRING8 = 0x101E,
    PT_MV_UNICODE = 0x101F,
    PT_MV_BINARY = 0x1102,
};

int fixedSize(std::uint16_t type);  // 0 for variable-size types

// A property value in its stored form (little-endian bytes; PT_UNICODE texts
// UTF-16LE, PT_STRING8 texts in the code page, both without a terminator).
struct PropValue {
    std::uint16_t id = 0;
    std::uint16_t type = 0;
    QByteArray data;
};

// A subnode of an encoded node: data pieces and, for tables, nothing below.
struct EncodedSubnode {
    std::uint32_t nid = 0;
    std::vector<QByteArray> pieces;
};

// What a node holds: its data pieces (heap blocks) and its subnodes.
struct EncodedNode {
    std::vector<QByteArray> pieces;
    std::vector<EncodedSubnode> subnodes;
};

class Heap {
public:
    // maxData: the layout's largest block. Only files with 4 KiB pages have
    // blocks over 8,180 bytes; their heap ids have 14 bits of index and 13
    // of block (else 11 and 16).
    Heap(std::uint8_t clientSig, int maxData)
        : m_clientSig(clientSig)
        , m_blockShift(maxData > 8180 ? 19 : 16)
    {
    }
    std::uint32_t alloc(const QByteArray& bytes);
    void replace(std::uint32_t hid, const QByteArray& bytes);  // same size
    void setUserRoot(std::uint32_t hid) { m_userRoot = hid; }
    std::vector<QByteArray> blocks() const;

private:
    static int headerSize(std::size_t blockIndex);
    std::uint8_t m_clientSig;
    int m_blockShift;  // where the block index starts in a heap id
    std::uint32_t m_userRoot = 0;
    std::vector<std::vector<QByteArray>> m_blocks;
    std::vector<int> m_used;  // bytes of allocations per block
};

// Builds a BTH over records (key followed by data, sorted by key) and
// returns the HID of its header.
std::uint32_t buildBth(Heap& heap, int cbKey, int cbEnt, const std::vector<QByteArray>& records);

// A property context. Values too large for the heap go to subnodes whose
// ids are taken from nextSubnid (type NID_TYPE_LTP), split in blocks of
// maxData bytes (the layout's largest block).
EncodedNode encodePropertyContext(std::vector<PropValue> props, std::uint32_t& nextSubnid, int maxData);

// A table context. columns: property tags (id << 16 | type); the first two
// must be PidTagLtpRowId and PidTagLtpRowVer. rows[r][c]: the value bytes,
// or nothing for an absent cell. A row matrix in a subnode holds
// maxData / row size whole rows per block, as readers expect.
using TableRow = std::vector<std::optional<QByteArray>>;
EncodedNode encodeTableContext(const std::vector<std::uint32_t>& columns, const std::vector<TableRow>& rows,
                               std::uint32_t& nextSubnid, int maxData);

}  // namespace pstwriter::detail
