#include "Ndb.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace pstwriter::detail {

namespace {

constexpr std::uint64_t kFirstAMap = 0x4400;
constexpr std::uint64_t kAMapCoverage = 496 * 8 * 64;   // 253,952 bytes
constexpr std::uint64_t kPageSize = 512;
constexpr std::uint64_t kDListOffset = 0x4200;
constexpr int kPageData = 496;

constexpr std::uint8_t kPtypeBBT = 0x80;
constexpr std::uint8_t kPtypeNBT = 0x81;
constexpr std::uint8_t kPtypeFMap = 0x82;
constexpr std::uint8_t kPtypePMap = 0x83;
constexpr std::uint8_t kPtypeAMap = 0x84;
constexpr std::uint8_t kPtypeDL = 0x86;

const std::array<std::uint32_t, 256> &crcTable()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

void put16(QByteArray &b, int at, std::uint16_t v) { qToLittleEndian(v, b.data() + at); }
void put32(QByteArray &b, int at, std::uint32_t v) { qToLittleEndian(v, b.data() + at); }
void put64(QByteArray &b, int at, std::uint64_t v) { qToLittleEndian(v, b.data() + at); }

std::uint16_t computeSig(std::uint64_t ib, std::uint64_t bid)
{
    ib ^= bid;
    return std::uint16_t(std::uint16_t(ib >> 16) ^ std::uint16_t(ib));
}

bool isFMapIndex(std::uint64_t amapIndex)
{
    return amapIndex >= 128 && (amapIndex - 128) % 496 == 0;
}

}  // namespace

std::uint32_t pstCrc(const char *data, std::size_t size, std::uint32_t crc)
{
    const auto &t = crcTable();
    for (std::size_t i = 0; i < size; ++i)
        crc = t[(crc ^ std::uint8_t(data[i])) & 0xFF] ^ (crc >> 8);
    return crc;
}

NdbFile::NdbFile(const QString &path) : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot create " + path.toStdString() + ": " + m_file.errorString().toStdString());
    // Header and density list come first; data starts after the first maps.
    m_cursor = kFirstAMap;
    m_tailStart = 0;
    m_tail = QByteArray(int(kFirstAMap), '\0');
}

NdbFile::~NdbFile() = default;

std::uint64_t NdbFile::reservedEnd(std::uint64_t amapIndex) const
{
    std::uint64_t start = kFirstAMap + amapIndex * kAMapCoverage;
    std::uint64_t end = start + kPageSize;              // AMap
    if (amapIndex % 8 == 0)
        end += kPageSize;                               // PMap
    if (isFMapIndex(amapIndex))
        end += kPageSize;                               // FMap
    return end;
}

std::uint64_t NdbFile::allocate(std::uint64_t size, std::uint64_t align)
{
    std::uint64_t ib = (m_cursor + align - 1) / align * align;
    for (;;) {
        std::uint64_t index = (ib - kFirstAMap) / kAMapCoverage;
        std::uint64_t regionStart = kFirstAMap + index * kAMapCoverage;
        std::uint64_t dataStart = reservedEnd(index);
        if (ib < dataStart) {
            ib = (dataStart + align - 1) / align * align;
            continue;
        }
        if (ib + size > regionStart + kAMapCoverage) {
            ib = regionStart + kAMapCoverage;
            continue;
        }
        break;
    }
    if (ib + size > (std::uint64_t(1) << 31) * 15)
        throw std::runtime_error("PST file would grow beyond the supported size");
    m_cursor = ib + size;
    markAllocated(ib, size);
    return ib;
}

void NdbFile::markAllocated(std::uint64_t ib, std::uint64_t size)
{
    std::uint64_t first = (ib - kFirstAMap) / 64;
    std::uint64_t last = (ib + size - 1 - kFirstAMap) / 64;
    if (m_amapBits.size() <= last / 8)
        m_amapBits.resize(std::max<std::size_t>(last / 8 + 1, m_amapBits.size() * 2), 0);
    for (std::uint64_t s = first; s <= last; ++s)
        m_amapBits[s / 8] |= std::uint8_t(0x80 >> (s % 8));
}

void NdbFile::put(std::uint64_t ib, const QByteArray &bytes)
{
    if (ib < m_tailStart) {
        // Maps and the header, written last over parts already flushed.
        if (!m_file.seek(qint64(ib)) || m_file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + m_file.fileName().toStdString() + ": "
                                     + m_file.errorString().toStdString());
        return;
    }
    std::uint64_t rel = ib - m_tailStart;
    std::uint64_t end = rel + std::uint64_t(bytes.size());
    if (end > std::uint64_t(m_tail.size()))
        m_tail.append(QByteArray(qsizetype(end - std::uint64_t(m_tail.size())), '\0'));
    std::copy(bytes.begin(), bytes.end(), m_tail.begin() + qsizetype(rel));
    if (m_tail.size() > (8 << 20))
        flushTail();
}

void NdbFile::flushTail()
{
    // Every block and page is written right after it is allocated, so all
    // buffered bytes are final.
    if (m_tail.isEmpty())
        return;
    if (!m_file.seek(qint64(m_tailStart)) || m_file.write(m_tail) != m_tail.size())
        throw std::runtime_error("cannot write " + m_file.fileName().toStdString() + ": "
                                 + m_file.errorString().toStdString());
    m_tailStart += std::uint64_t(m_tail.size());
    m_tail.clear();
}

std::uint64_t NdbFile::writeBlock(const QByteArray &data, bool internal)
{
    if (data.size() > kMaxBlockData)
        throw std::runtime_error("internal error: block too large");
    std::uint64_t bid = m_nextBid | (internal ? 2 : 0);
    m_nextBid += 4;
    std::uint64_t size = (std::uint64_t(data.size()) + 16 + 63) / 64 * 64;
    std::uint64_t ib = allocate(size, 64);
    QByteArray block(int(size), '\0');
    std::copy(data.begin(), data.end(), block.begin());
    int t = int(size) - 16;
    put16(block, t, std::uint16_t(data.size()));
    put16(block, t + 2, computeSig(ib, bid));
    put32(block, t + 4, pstCrc(data));
    put64(block, t + 8, bid);
    put(ib, block);
    m_bbt.push_back({bid, ib, std::uint16_t(data.size()), 1});
    return bid;
}

void NdbFile::addReference(std::uint64_t bid)
{
    std::size_t index = std::size_t(bid >> 2) - 1;
    if (index >= m_bbt.size() || m_bbt[index].bid != bid)
        throw std::runtime_error("internal error: unknown block");
    ++m_bbt[index].refs;
}

std::uint64_t NdbFile::writeData(const std::vector<QByteArray> &pieces)
{
    if (pieces.empty())
        return 0;
    if (pieces.size() == 1)
        return writeBlock(pieces.front());
    constexpr std::size_t perX = (kMaxBlockData - 8) / 8;   // 1021
    std::uint32_t total = 0;
    std::vector<std::uint64_t> bids;
    std::vector<std::uint32_t> sizes;
    bids.reserve(pieces.size());
    for (const QByteArray &p : pieces) {
        bids.push_back(writeBlock(p));
        sizes.push_back(std::uint32_t(p.size()));
        total += std::uint32_t(p.size());
    }
    auto xblock = [&](std::uint8_t level, const std::uint64_t *ids, std::size_t n, std::uint32_t bytes) {
        QByteArray b(int(8 + 8 * n), '\0');
        b[0] = char(0x01);
        b[1] = char(level);
        put16(b, 2, std::uint16_t(n));
        put32(b, 4, bytes);
        for (std::size_t i = 0; i < n; ++i)
            put64(b, int(8 + 8 * i), ids[i]);
        return writeBlock(b, true);
    };
    if (bids.size() <= perX)
        return xblock(1, bids.data(), bids.size(), total);
    if (bids.size() > perX * perX)
        throw std::runtime_error("value too large for a PST data tree");
    std::vector<std::uint64_t> xbids;
    for (std::size_t at = 0; at < bids.size(); at += perX) {
        std::size_t n = std::min(perX, bids.size() - at);
        std::uint32_t bytes = 0;
        for (std::size_t i = at; i < at + n; ++i)
            bytes += sizes[i];
        xbids.push_back(xblock(1, bids.data() + at, n, bytes));
    }
    return xblock(2, xbids.data(), xbids.size(), total);
}

std::uint64_t NdbFile::writeBytes(const QByteArray &bytes)
{
    std::vector<QByteArray> pieces;
    for (qsizetype at = 0; at < bytes.size(); at += kMaxBlockData)
        pieces.push_back(bytes.mid(at, kMaxBlockData));
    return writeData(pieces);
}

std::uint64_t NdbFile::writeSubnodes(std::vector<SubnodeEntry> entries)
{
    if (entries.empty())
        return 0;
    std::sort(entries.begin(), entries.end(), [](const SubnodeEntry &a, const SubnodeEntry &b) { return a.nid < b.nid; });
    constexpr std::size_t perSL = (kMaxBlockData - 8) / 24;  // 340
    constexpr std::size_t perSI = (kMaxBlockData - 8) / 16;  // 510
    std::vector<std::pair<std::uint32_t, std::uint64_t>> leaves;
    for (std::size_t at = 0; at < entries.size(); at += perSL) {
        std::size_t n = std::min(perSL, entries.size() - at);
        QByteArray b(int(8 + 24 * n), '\0');
        b[0] = char(0x02);
        b[1] = char(0x00);
        put16(b, 2, std::uint16_t(n));
        for (std::size_t i = 0; i < n; ++i) {
            const SubnodeEntry &e = entries[at + i];
            put64(b, int(8 + 24 * i), e.nid);
            put64(b, int(16 + 24 * i), e.bidData);
            put64(b, int(24 + 24 * i), e.bidSub);
        }
        leaves.emplace_back(entries[at].nid, writeBlock(b, true));
    }
    if (leaves.size() == 1)
        return leaves.front().second;
    if (leaves.size() > perSI)
        throw std::runtime_error("too many subnodes in one node");
    QByteArray b(int(8 + 16 * leaves.size()), '\0');
    b[0] = char(0x02);
    b[1] = char(0x01);
    put16(b, 2, std::uint16_t(leaves.size()));
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        put64(b, int(8 + 16 * i), leaves[i].first);
        put64(b, int(16 + 16 * i), leaves[i].second);
    }
    return writeBlock(b, true);
}

void NdbFile::addNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub, std::uint32_t nidParent)
{
    m_nbt.push_back({nid, bidData, bidSub, nidParent});
}

std::uint64_t NdbFile::writePage(QByteArray page, std::uint8_t ptype, std::uint64_t ib, std::uint64_t bid, bool signature)
{
    page.resize(512, '\0');
    page[kPageData] = char(ptype);
    page[kPageData + 1] = char(ptype);
    put16(page, kPageData + 2, signature ? computeSig(ib, bid) : 0);
    put32(page, kPageData + 4, pstCrc(page.constData(), kPageData));
    put64(page, kPageData + 8, bid);
    put(ib, page);
    return ib;
}

// Builds a B-tree bottom up; returns the root page's offset.
std::uint64_t NdbFile::writeBTree(std::uint8_t ptype, const std::vector<QByteArray> &leafEntries, int leafSize,
                                  std::vector<std::uint64_t> keys, std::uint64_t *rootBid)
{
    struct Ref { std::uint64_t key, bid, ib; };
    std::vector<Ref> level;
    const int leafMax = 488 / leafSize;
    auto page = [&](const std::vector<QByteArray> &ents, int cbEnt, int cEntMax, int cLevel, std::uint64_t key) {
        QByteArray p(512, '\0');
        for (std::size_t i = 0; i < ents.size(); ++i)
            std::copy(ents[i].begin(), ents[i].end(), p.begin() + qsizetype(i) * cbEnt);
        p[488] = char(ents.size());
        p[489] = char(cEntMax);
        p[490] = char(cbEnt);
        p[491] = char(cLevel);
        std::uint64_t bid = m_nextPageBid++;
        std::uint64_t ib = allocate(512, 512);
        writePage(p, ptype, ib, bid, true);
        return Ref{key, bid, ib};
    };
    if (leafEntries.empty()) {
        Ref r = page({}, leafSize, leafMax, 0, 0);
        *rootBid = r.bid;
        return r.ib;
    }
    for (std::size_t at = 0; at < leafEntries.size(); at += std::size_t(leafMax)) {
        std::size_t n = std::min<std::size_t>(std::size_t(leafMax), leafEntries.size() - at);
        std::vector<QByteArray> ents(leafEntries.begin() + qsizetype(at), leafEntries.begin() + qsizetype(at + n));
        level.push_back(page(ents, leafSize, leafMax, 0, keys[at]));
    }
    int cLevel = 0;
    while (level.size() > 1) {
        ++cLevel;
        std::vector<Ref> up;
        for (std::size_t at = 0; at < level.size(); at += 20) {
            std::size_t n = std::min<std::size_t>(20, level.size() - at);
            std::vector<QByteArray> ents;
            for (std::size_t i = at; i < at + n; ++i) {
                QByteArray e(24, '\0');
                put64(e, 0, level[i].key);
                put64(e, 8, level[i].bid);
                put64(e, 16, level[i].ib);
                ents.push_back(e);
            }
            up.push_back(page(ents, 24, 20, cLevel, level[at].key));
        }
        level.swap(up);
    }
    *rootBid = level.front().bid;
    return level.front().ib;
}

void NdbFile::finish(const HeaderValues &values)
{
    std::sort(m_nbt.begin(), m_nbt.end(), [](const NbtEntry &a, const NbtEntry &b) { return a.nid < b.nid; });
    for (std::size_t i = 1; i < m_nbt.size(); ++i)
        if (m_nbt[i].nid == m_nbt[i - 1].nid)
            throw std::runtime_error("internal error: node written twice");

    std::vector<QByteArray> bbtEntries;
    std::vector<std::uint64_t> bbtKeys;
    bbtEntries.reserve(m_bbt.size());
    for (const BbtEntry &e : m_bbt) {
        QByteArray b(24, '\0');
        put64(b, 0, e.bid);
        put64(b, 8, e.ib);
        put16(b, 16, e.cb);
        put16(b, 18, std::uint16_t(std::min<std::uint32_t>(e.refs + 1, 0xFFFF)));
        bbtEntries.push_back(b);
        bbtKeys.push_back(e.bid);
    }
    std::vector<QByteArray> nbtEntries;
    std::vector<std::uint64_t> nbtKeys;
    nbtEntries.reserve(m_nbt.size());
    for (const NbtEntry &e : m_nbt) {
        QByteArray b(32, '\0');
        put64(b, 0, e.nid);
        put64(b, 8, e.bidData);
        put64(b, 16, e.bidSub);
        put32(b, 24, e.parent);
        nbtEntries.push_back(b);
        nbtKeys.push_back(e.nid);
    }
    std::uint64_t bbtBid = 0, nbtBid = 0;
    std::uint64_t bbtIb = writeBTree(kPtypeBBT, bbtEntries, 24, bbtKeys, &bbtBid);
    std::uint64_t nbtIb = writeBTree(kPtypeNBT, nbtEntries, 32, nbtKeys, &nbtBid);

    // The file grows in whole AMap intervals.
    std::uint64_t amapCount = (m_cursor - kFirstAMap + kAMapCoverage - 1) / kAMapCoverage;
    if (amapCount == 0)
        amapCount = 1;
    std::uint64_t eof = kFirstAMap + amapCount * kAMapCoverage;
    for (std::uint64_t i = 0; i < amapCount; ++i) {
        std::uint64_t start = kFirstAMap + i * kAMapCoverage;
        markAllocated(start, reservedEnd(i) - start);
    }
    m_amapBits.resize(std::size_t(amapCount * kPageData), 0);

    std::uint64_t freeBytes = 0;
    std::vector<std::uint8_t> longestFree(amapCount, 0);
    for (std::uint64_t i = 0; i < amapCount; ++i) {
        std::uint64_t start = kFirstAMap + i * kAMapCoverage;
        QByteArray page(512, '\0');
        std::uint64_t run = 0, best = 0;
        for (int k = 0; k < kPageData; ++k) {
            std::uint8_t byte = m_amapBits[std::size_t(i * kPageData + std::uint64_t(k))];
            page[k] = char(byte);
            for (int bit = 0; bit < 8; ++bit) {
                if (byte & (0x80 >> bit)) {
                    run = 0;
                } else {
                    ++run;
                    ++freeBytes;
                    best = std::max(best, run);
                }
            }
        }
        longestFree[i] = std::uint8_t(std::min<std::uint64_t>(best, 255));
        writePage(page, kPtypeAMap, start, start, false);
        if (i % 8 == 0)
            writePage(QByteArray(kPageData, char(0xFF)), kPtypePMap, start + 512, start + 512, false);
    }
    for (std::uint64_t i = 0; i < amapCount; ++i) {
        if (!isFMapIndex(i))
            continue;
        std::uint64_t start = kFirstAMap + i * kAMapCoverage + 1024;
        QByteArray page(512, '\0');
        for (std::uint64_t k = 0; k < 496 && i + k < amapCount; ++k)
            page[int(k)] = char(longestFree[i + k]);
        writePage(page, kPtypeFMap, start, start, false);
    }
    freeBytes *= 64;
    // Empty density list.
    writePage(QByteArray(kPageData, '\0'), kPtypeDL, kDListOffset, m_nextPageBid++, true);
    if (eof > m_tailStart + std::uint64_t(m_tail.size()))
        put(eof - 1, QByteArray(1, '\0'));
    flushTail();

    // Header (Unicode).
    QByteArray h(564, '\0');
    h[0] = '!'; h[1] = 'B'; h[2] = 'D'; h[3] = 'N';
    h[8] = 'S'; h[9] = 'M';
    put16(h, 10, 23);        // wVer: Unicode
    put16(h, 12, 19);        // wVerClient
    h[14] = 1;               // bPlatformCreate
    h[15] = 1;               // bPlatformAccess
    put64(h, 32, m_nextPageBid);   // bidNextP
    put32(h, 40, values.dwUnique);
    for (int i = 0; i < 32; ++i)
        put32(h, 44 + 4 * i, values.rgnid[i]);
    // ROOT
    int r = 180;
    put64(h, r + 4, eof);
    put64(h, r + 12, kFirstAMap + (amapCount - 1) * kAMapCoverage);
    put64(h, r + 20, freeBytes);
    put64(h, r + 28, 0);
    put64(h, r + 36, nbtBid);
    put64(h, r + 44, nbtIb);
    put64(h, r + 52, bbtBid);
    put64(h, r + 60, bbtIb);
    h[r + 68] = 0x02;        // VALID_AMAP2
    std::fill(h.begin() + 256, h.begin() + 512, char(0xFF));   // rgbFM, rgbFP
    h[512] = char(0x80);     // bSentinel
    h[513] = 0;              // NDB_CRYPT_NONE
    put64(h, 516, m_nextBid);
    put32(h, 4, pstCrc(h.constData() + 8, 471));
    put32(h, 524, pstCrc(h.constData() + 8, 516));
    flushTail();
    put(0, h);
    if (!m_file.flush())
        throw std::runtime_error("cannot write " + m_file.fileName().toStdString());
    m_file.close();
}

}  // namespace pstwriter::detail
