#include "Ltp.h"

#include "Ndb.h"

#include <QtEndian>

#include <algorithm>
#include <stdexcept>

namespace pstwriter::detail {

namespace {

constexpr std::uint8_t kSigHeap = 0xEC;
constexpr std::uint8_t kSigBth = 0xB5;
constexpr std::uint8_t kSigPc = 0xBC;
constexpr std::uint8_t kSigTc = 0x7C;
constexpr std::uint32_t kNidTypeLtp = 0x1F;
constexpr std::size_t kMaxPcHeapBlocks = 8;

void put16(QByteArray& b, int at, std::uint16_t v)
{
    qToLittleEndian(v, b.data() + at);
}
void put32(QByteArray& b, int at, std::uint32_t v)
{
    qToLittleEndian(v, b.data() + at);
}

std::uint8_t fillLevel(int freeBytes)
{
    static const int limits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
    for (int i = 0; i < 15; ++i)
        if (freeBytes >= limits[i])
            return std::uint8_t(i);
    return 0x0F;
}

}  // namespace

int fixedSize(std::uint16_t type)
{
    switch (type) {
    case PT_SHORT:
        return 2;
    case PT_LONG:
        return 4;
    case PT_BOOLEAN:
        return 1;
    case PT_I8:
        return 8;
    case PT_SYSTIME:
        return 8;
    case 0x0005:
        return 8;  // PT_DOUBLE
    case 0x0006:
        return 8;  // PT_CURRENCY
    case 0x0007:
        return 8;  // PT_APPTIME
    case 0x0004:
        return 4;  // PT_FLOAT
    case 0x000A:
        return 4;  // PT_ERROR
    default:
        return 0;
    }
}

int Heap::headerSize(std::size_t blockIndex)
{
    if (blockIndex == 0)
        return 12;
    if (blockIndex % 128 == 8)
        return 66;
    return 2;
}

std::uint32_t Heap::alloc(const QByteArray& bytes)
{
    if (bytes.size() > kMaxHeapAlloc)
        throw std::runtime_error("internal error: heap allocation too large");
    auto fits = [&](std::size_t b) {
        std::size_t n = m_blocks[b].size();
        int total = headerSize(b) + m_used[b] + int(bytes.size()) + 1 + 4 + 2 * int(n + 2);
        return total <= kMaxBlockData && n < 2047;
    };
    if (m_blocks.empty() || !fits(m_blocks.size() - 1)) {
        if (m_blocks.size() >= (std::size_t(1) << (32 - m_blockShift)) - 1)
            throw std::runtime_error("heap too large");
        m_blocks.emplace_back();
        m_used.push_back(0);
    }
    std::size_t b = m_blocks.size() - 1;
    m_blocks[b].push_back(bytes);
    m_used[b] += int(bytes.size());
    return std::uint32_t(b << m_blockShift) | std::uint32_t(m_blocks[b].size() << 5);
}

void Heap::replace(std::uint32_t hid, const QByteArray& bytes)
{
    std::size_t b = hid >> m_blockShift;
    std::size_t i = ((hid >> 5) & ((1u << (m_blockShift - 5)) - 1)) - 1;
    if (b >= m_blocks.size() || i >= m_blocks[b].size() || m_blocks[b][i].size() != bytes.size())
        throw std::runtime_error("internal error: bad heap replacement");
    m_blocks[b][i] = bytes;
}

std::vector<QByteArray> Heap::blocks() const
{
    std::vector<QByteArray> out;
    std::vector<std::uint8_t> levels;
    out.reserve(m_blocks.size());
    for (std::size_t b = 0; b < m_blocks.size(); ++b) {
        const int hdr = headerSize(b);
        QByteArray block(hdr, '\0');
        std::vector<std::uint16_t> offsets;
        for (const QByteArray& a : m_blocks[b]) {
            offsets.push_back(std::uint16_t(block.size()));
            block.append(a);
        }
        offsets.push_back(std::uint16_t(block.size()));
        if (block.size() % 2)
            block.append('\0');
        const int mapSize = 4 + 2 * int(offsets.size());
        const int ibHnpm = int(block.size());
        QByteArray map(mapSize, '\0');
        put16(map, 0, std::uint16_t(m_blocks[b].size()));
        put16(map, 2, 0);
        for (std::size_t i = 0; i < offsets.size(); ++i)
            put16(map, 4 + 2 * int(i), offsets[i]);
        block.append(map);
        put16(block, 0, std::uint16_t(ibHnpm));
        levels.push_back(fillLevel(kMaxBlockData - int(block.size())));
        out.push_back(block);
    }
    auto packLevels = [&](QByteArray& block, int at, std::size_t first, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            std::size_t i = first + k;
            std::uint8_t v = i < levels.size() ? levels[i] : 0;
            char& c = block[at + int(k / 2)];
            c = char(std::uint8_t(c) | (k % 2 ? std::uint8_t(v << 4) : v));
        }
    };
    if (!out.empty()) {
        QByteArray& first = out.front();
        first[2] = char(kSigHeap);
        first[3] = char(m_clientSig);
        put32(first, 4, m_userRoot);
        packLevels(first, 8, 0, 8);
    }
    for (std::size_t b = 8; b < out.size(); b += 128)
        packLevels(out[b], 2, b, 128);
    return out;
}

namespace {

std::uint32_t buildBthInto(Heap& heap, int cbKey, int cbEnt, const std::vector<QByteArray>& records,
                           std::uint32_t headerHid)
{
    QByteArray header(8, '\0');
    header[0] = char(kSigBth);
    header[1] = char(cbKey);
    header[2] = char(cbEnt);
    if (headerHid == 0)
        headerHid = heap.alloc(header);
    if (records.empty()) {
        heap.replace(headerHid, header);
        return headerHid;
    }
    struct Node {
        QByteArray key;
        std::uint32_t hid;
    };
    std::vector<Node> level;
    const std::size_t perLeaf = std::size_t(kMaxHeapAlloc / (cbKey + cbEnt));
    for (std::size_t at = 0; at < records.size(); at += perLeaf) {
        std::size_t n = std::min(perLeaf, records.size() - at);
        QByteArray leaf;
        leaf.reserve(qsizetype(n) * (cbKey + cbEnt));
        for (std::size_t i = at; i < at + n; ++i)
            leaf.append(records[i]);
        level.push_back({records[at].left(cbKey), heap.alloc(leaf)});
    }
    int levels = 0;
    const std::size_t perIndex = std::size_t(kMaxHeapAlloc / (cbKey + 4));
    while (level.size() > 1) {
        ++levels;
        std::vector<Node> up;
        for (std::size_t at = 0; at < level.size(); at += perIndex) {
            std::size_t n = std::min(perIndex, level.size() - at);
            QByteArray idx;
            for (std::size_t i = at; i < at + n; ++i) {
                idx.append(level[i].key);
                QByteArray h(4, '\0');
                put32(h, 0, level[i].hid);
                idx.append(h);
            }
            up.push_back({level[at].key, heap.alloc(idx)});
        }
        level.swap(up);
    }
    header[3] = char(levels);
    put32(header, 4, level.front().hid);
    heap.replace(headerHid, header);
    return headerHid;
}

}  // namespace

std::uint32_t buildBth(Heap& heap, int cbKey, int cbEnt, const std::vector<QByteArray>& records)
{
    return buildBthInto(heap, cbKey, cbEnt, records, 0);
}

EncodedNode encodePropertyContext(std::vector<PropValue> props, std::uint32_t& nextSubnid, int maxData)
{
    std::stable_sort(props.begin(), props.end(), [](const PropValue& a, const PropValue& b) { return a.id < b.id; });
    // A later value for the same id replaces an earlier one.
    std::vector<PropValue> unique;
    for (PropValue& p : props) {
        if (!unique.empty() && unique.back().id == p.id)
            unique.back() = std::move(p);
        else
            unique.push_back(std::move(p));
    }
    // Values larger than a heap allocation live in subnodes. So do the
    // largest others while the heap would span more than kMaxPcHeapBlocks
    // blocks: libpff keeps only that many blocks of a node in its cache while
    // it reads a property context, and reads freed memory beyond.
    auto encode = [&](const std::vector<bool>& inSubnode, std::uint32_t& subnid) {
        EncodedNode node;
        Heap heap(kSigPc, maxData);
        std::uint32_t headerHid = heap.alloc(QByteArray(8, '\0'));
        std::vector<QByteArray> records;
        records.reserve(unique.size());
        for (std::size_t i = 0; i < unique.size(); ++i) {
            const PropValue& p = unique[i];
            QByteArray rec(8, '\0');
            put16(rec, 0, p.id);
            put16(rec, 2, p.type);
            const int fixed = fixedSize(p.type);
            if (fixed > 0 && fixed <= 4) {
                std::copy(p.data.begin(), p.data.begin() + std::min<qsizetype>(p.data.size(), 4), rec.begin() + 4);
            } else if (!inSubnode[i]) {
                put32(rec, 4, heap.alloc(p.data));
            } else {
                std::uint32_t nid = (subnid++ << 5) | kNidTypeLtp;
                EncodedSubnode sub;
                sub.nid = nid;
                for (qsizetype at = 0; at < p.data.size(); at += maxData)
                    sub.pieces.push_back(p.data.mid(at, maxData));
                node.subnodes.push_back(std::move(sub));
                put32(rec, 4, nid);
            }
            records.push_back(rec);
        }
        buildBthInto(heap, 2, 6, records, headerHid);
        heap.setUserRoot(headerHid);
        node.pieces = heap.blocks();
        return node;
    };
    std::vector<bool> inSubnode(unique.size(), false);
    std::vector<std::size_t> candidates;  // heap values, largest first
    for (std::size_t i = 0; i < unique.size(); ++i) {
        const int fixed = fixedSize(unique[i].type);
        if (fixed > 0 && fixed <= 4)
            continue;
        if (unique[i].data.size() > kMaxHeapAlloc)
            inSubnode[i] = true;
        else
            candidates.push_back(i);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [&](std::size_t a, std::size_t b) { return unique[a].data.size() > unique[b].data.size(); });
    for (std::size_t next = 0;; ++next) {
        std::uint32_t subnid = nextSubnid;
        EncodedNode node = encode(inSubnode, subnid);
        if (node.pieces.size() <= kMaxPcHeapBlocks || next >= candidates.size()) {
            nextSubnid = subnid;
            return node;
        }
        inSubnode[candidates[next]] = true;
    }
}

EncodedNode encodeTableContext(const std::vector<std::uint32_t>& columns, const std::vector<TableRow>& rows,
                               std::uint32_t& nextSubnid, int maxData)
{
    if (columns.size() < 2 || columns[0] != 0x67F20003u || columns[1] != 0x67F30003u)
        throw std::runtime_error("internal error: table without row id columns");
    if (columns.size() > 255)
        throw std::runtime_error("internal error: too many table columns");
    const std::size_t cCols = columns.size();
    struct Layout {
        int ib;
        int cb;
        int bit;
    };
    std::vector<Layout> layout(cCols);
    auto cellSize = [&](std::uint32_t tag) {
        int f = fixedSize(std::uint16_t(tag & 0xFFFF));
        return f == 0 ? 4 : f;
    };
    // Row id, row version, then 8-byte, other 4-byte, 2-byte and 1-byte cells.
    int ib = 0;
    layout[0] = {0, 4, 0};
    layout[1] = {4, 4, 1};
    ib = 8;
    for (int pass : {8, 4}) {
        for (std::size_t c = 2; c < cCols; ++c)
            if (cellSize(columns[c]) == pass) {
                layout[c] = {ib, pass, int(c)};
                ib += pass;
            }
    }
    const int end4 = ib;
    for (std::size_t c = 2; c < cCols; ++c)
        if (cellSize(columns[c]) == 2) {
            layout[c] = {ib, 2, int(c)};
            ib += 2;
        }
    const int end2 = ib;
    for (std::size_t c = 2; c < cCols; ++c)
        if (cellSize(columns[c]) == 1) {
            layout[c] = {ib, 1, int(c)};
            ib += 1;
        }
    const int end1 = ib;
    const int rowSize = end1 + int((cCols + 7) / 8);

    EncodedNode node;
    Heap heap(kSigTc, maxData);
    const int infoSize = 22 + 8 * int(cCols);
    std::uint32_t infoHid = heap.alloc(QByteArray(infoSize, '\0'));

    std::vector<QByteArray> indexRecords;
    indexRecords.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        QByteArray rec(8, '\0');
        put32(rec, 0, qFromLittleEndian<std::uint32_t>(rows[r][0]->constData()));
        put32(rec, 4, std::uint32_t(r));
        indexRecords.push_back(rec);
    }
    std::sort(indexRecords.begin(), indexRecords.end(), [](const QByteArray& a, const QByteArray& b) {
        return qFromLittleEndian<std::uint32_t>(a.constData()) < qFromLittleEndian<std::uint32_t>(b.constData());
    });
    std::uint32_t rowIndexHid = buildBth(heap, 4, 4, indexRecords);

    QByteArray matrix;
    matrix.reserve(qsizetype(rows.size()) * rowSize);
    for (const TableRow& row : rows) {
        QByteArray cells(rowSize, '\0');
        for (std::size_t c = 0; c < cCols && c < row.size(); ++c) {
            if (!row[c])
                continue;
            const QByteArray& v = *row[c];
            const Layout& l = layout[c];
            if (fixedSize(std::uint16_t(columns[c] & 0xFFFF)) > 0) {
                std::copy(v.begin(), v.begin() + std::min<qsizetype>(v.size(), l.cb), cells.begin() + l.ib);
            } else {
                std::uint32_t hnid;
                if (v.size() <= kMaxHeapAlloc) {
                    hnid = heap.alloc(v);
                } else {
                    hnid = (nextSubnid++ << 5) | kNidTypeLtp;
                    EncodedSubnode sub;
                    sub.nid = hnid;
                    for (qsizetype at = 0; at < v.size(); at += maxData)
                        sub.pieces.push_back(v.mid(at, maxData));
                    node.subnodes.push_back(std::move(sub));
                }
                put32(cells, l.ib, hnid);
            }
            cells[end1 + l.bit / 8] = char(std::uint8_t(cells[end1 + l.bit / 8]) | (0x80 >> (l.bit % 8)));
        }
        matrix.append(cells);
    }
    std::uint32_t hnidRows = 0;
    if (!rows.empty()) {
        if (matrix.size() <= kMaxHeapAlloc) {
            hnidRows = heap.alloc(matrix);
        } else {
            hnidRows = (nextSubnid++ << 5) | kNidTypeLtp;
            EncodedSubnode sub;
            sub.nid = hnidRows;
            const qsizetype perBlock = (maxData / rowSize) * rowSize;
            for (qsizetype at = 0; at < matrix.size(); at += perBlock)
                sub.pieces.push_back(matrix.mid(at, perBlock));
            node.subnodes.push_back(std::move(sub));
        }
    }

    QByteArray info(infoSize, '\0');
    info[0] = char(kSigTc);
    info[1] = char(cCols);
    put16(info, 2, std::uint16_t(end4));
    put16(info, 4, std::uint16_t(end2));
    put16(info, 6, std::uint16_t(end1));
    put16(info, 8, std::uint16_t(rowSize));
    put32(info, 10, rowIndexHid);
    put32(info, 14, hnidRows);
    put32(info, 18, 0);
    std::vector<std::size_t> order(cCols);
    for (std::size_t c = 0; c < cCols; ++c)
        order[c] = c;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return columns[a] < columns[b]; });
    for (std::size_t k = 0; k < cCols; ++k) {
        std::size_t c = order[k];
        int at = 22 + 8 * int(k);
        put32(info, at, columns[c]);
        put16(info, at + 4, std::uint16_t(layout[c].ib));
        info[at + 6] = char(layout[c].cb);
        info[at + 7] = char(layout[c].bit);
    }
    heap.replace(infoHid, info);
    heap.setUserRoot(infoHid);
    node.pieces = heap.blocks();
    return node;
}

}  // namespace pstwriter::detail
