#include "Ndb.h"

#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace pstwriter::detail {

namespace {

constexpr std::uint64_t kDListOffset = 0x4200;

constexpr std::uint8_t kPtypeBBT = 0x80;
constexpr std::uint8_t kPtypeNBT = 0x81;
constexpr std::uint8_t kPtypeFMap = 0x82;
constexpr std::uint8_t kPtypePMap = 0x83;
constexpr std::uint8_t kPtypeAMap = 0x84;
constexpr std::uint8_t kPtypeDL = 0x86;

const std::array<std::uint32_t, 256>& crcTable()
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

void put16(QByteArray& b, int at, std::uint16_t v)
{
    qToLittleEndian(v, b.data() + at);
}
void put32(QByteArray& b, int at, std::uint32_t v)
{
    qToLittleEndian(v, b.data() + at);
}
void put64(QByteArray& b, int at, std::uint64_t v)
{
    qToLittleEndian(v, b.data() + at);
}

std::uint16_t computeSig(std::uint64_t ib, std::uint64_t bid)
{
    ib ^= bid;
    return std::uint16_t(std::uint16_t(ib >> 16) ^ std::uint16_t(ib));
}

// The byte substitutions of the two encodings. kEncode maps a plain byte to
// its stored form under "compressible" encoding; the cyclic scheme runs each
// byte through kEncode, kMix (its own inverse) and the inverse of kEncode,
// with key-dependent shifts in between.
constexpr std::array<std::uint8_t, 256> kEncode = {
    0x41, 0x36, 0x13, 0x62, 0xa8, 0x21, 0x6e, 0xbb, 0xf4, 0x16, 0xcc, 0x04, 0x7f, 0x64, 0xe8, 0x5d, 0x1e, 0xf2, 0xcb,
    0x2a, 0x74, 0xc5, 0x5e, 0x35, 0xd2, 0x95, 0x47, 0x9e, 0x96, 0x2d, 0x9a, 0x88, 0x4c, 0x7d, 0x84, 0x3f, 0xdb, 0xac,
    0x31, 0xb6, 0x48, 0x5f, 0xf6, 0xc4, 0xd8, 0x39, 0x8b, 0xe7, 0x23, 0x3b, 0x38, 0x8e, 0xc8, 0xc1, 0xdf, 0x25, 0xb1,
    0x20, 0xa5, 0x46, 0x60, 0x4e, 0x9c, 0xfb, 0xaa, 0xd3, 0x56, 0x51, 0x45, 0x7c, 0x55, 0x00, 0x07, 0xc9, 0x2b, 0x9d,
    0x85, 0x9b, 0x09, 0xa0, 0x8f, 0xad, 0xb3, 0x0f, 0x63, 0xab, 0x89, 0x4b, 0xd7, 0xa7, 0x15, 0x5a, 0x71, 0x66, 0x42,
    0xbf, 0x26, 0x4a, 0x6b, 0x98, 0xfa, 0xea, 0x77, 0x53, 0xb2, 0x70, 0x05, 0x2c, 0xfd, 0x59, 0x3a, 0x86, 0x7e, 0xce,
    0x06, 0xeb, 0x82, 0x78, 0x57, 0xc7, 0x8d, 0x43, 0xaf, 0xb4, 0x1c, 0xd4, 0x5b, 0xcd, 0xe2, 0xe9, 0x27, 0x4f, 0xc3,
    0x08, 0x72, 0x80, 0xcf, 0xb0, 0xef, 0xf5, 0x28, 0x6d, 0xbe, 0x30, 0x4d, 0x34, 0x92, 0xd5, 0x0e, 0x3c, 0x22, 0x32,
    0xe5, 0xe4, 0xf9, 0x9f, 0xc2, 0xd1, 0x0a, 0x81, 0x12, 0xe1, 0xee, 0x91, 0x83, 0x76, 0xe3, 0x97, 0xe6, 0x61, 0x8a,
    0x17, 0x79, 0xa4, 0xb7, 0xdc, 0x90, 0x7a, 0x5c, 0x8c, 0x02, 0xa6, 0xca, 0x69, 0xde, 0x50, 0x1a, 0x11, 0x93, 0xb9,
    0x52, 0x87, 0x58, 0xfc, 0xed, 0x1d, 0x37, 0x49, 0x1b, 0x6a, 0xe0, 0x29, 0x33, 0x99, 0xbd, 0x6c, 0xd9, 0x94, 0xf3,
    0x40, 0x54, 0x6f, 0xf0, 0xc6, 0x73, 0xb8, 0xd6, 0x3e, 0x65, 0x18, 0x44, 0x1f, 0xdd, 0x67, 0x10, 0xf1, 0x0c, 0x19,
    0xec, 0xae, 0x03, 0xa1, 0x14, 0x7b, 0xa9, 0x0b, 0xff, 0xf8, 0xa3, 0xc0, 0xa2, 0x01, 0xf7, 0x2e, 0xbc, 0x24, 0x68,
    0x75, 0x0d, 0xfe, 0xba, 0x2f, 0xb5, 0xd0, 0xda, 0x3d,
};

constexpr std::array<std::uint8_t, 256> kMix = {
    0x14, 0x53, 0x0f, 0x56, 0xb3, 0xc8, 0x7a, 0x9c, 0xeb, 0x65, 0x48, 0x17, 0x16, 0x15, 0x9f, 0x02, 0xcc, 0x54, 0x7c,
    0x83, 0x00, 0x0d, 0x0c, 0x0b, 0xa2, 0x62, 0xa8, 0x76, 0xdb, 0xd9, 0xed, 0xc7, 0xc5, 0xa4, 0xdc, 0xac, 0x85, 0x74,
    0xd6, 0xd0, 0xa7, 0x9b, 0xae, 0x9a, 0x96, 0x71, 0x66, 0xc3, 0x63, 0x99, 0xb8, 0xdd, 0x73, 0x92, 0x8e, 0x84, 0x7d,
    0xa5, 0x5e, 0xd1, 0x5d, 0x93, 0xb1, 0x57, 0x51, 0x50, 0x80, 0x89, 0x52, 0x94, 0x4f, 0x4e, 0x0a, 0x6b, 0xbc, 0x8d,
    0x7f, 0x6e, 0x47, 0x46, 0x41, 0x40, 0x44, 0x01, 0x11, 0xcb, 0x03, 0x3f, 0xf7, 0xf4, 0xe1, 0xa9, 0x8f, 0x3c, 0x3a,
    0xf9, 0xfb, 0xf0, 0x19, 0x30, 0x82, 0x09, 0x2e, 0xc9, 0x9d, 0xa0, 0x86, 0x49, 0xee, 0x6f, 0x4d, 0x6d, 0xc4, 0x2d,
    0x81, 0x34, 0x25, 0x87, 0x1b, 0x88, 0xaa, 0xfc, 0x06, 0xa1, 0x12, 0x38, 0xfd, 0x4c, 0x42, 0x72, 0x64, 0x13, 0x37,
    0x24, 0x6a, 0x75, 0x77, 0x43, 0xff, 0xe6, 0xb4, 0x4b, 0x36, 0x5c, 0xe4, 0xd8, 0x35, 0x3d, 0x45, 0xb9, 0x2c, 0xec,
    0xb7, 0x31, 0x2b, 0x29, 0x07, 0x68, 0xa3, 0x0e, 0x69, 0x7b, 0x18, 0x9e, 0x21, 0x39, 0xbe, 0x28, 0x1a, 0x5b, 0x78,
    0xf5, 0x23, 0xca, 0x2a, 0xb0, 0xaf, 0x3e, 0xfe, 0x04, 0x8c, 0xe7, 0xe5, 0x98, 0x32, 0x95, 0xd3, 0xf6, 0x4a, 0xe8,
    0xa6, 0xea, 0xe9, 0xf3, 0xd5, 0x2f, 0x70, 0x20, 0xf2, 0x1f, 0x05, 0x67, 0xad, 0x55, 0x10, 0xce, 0xcd, 0xe3, 0x27,
    0x3b, 0xda, 0xba, 0xd7, 0xc2, 0x26, 0xd4, 0x91, 0x1d, 0xd2, 0x1c, 0x22, 0x33, 0xf8, 0xfa, 0xf1, 0x5a, 0xef, 0xcf,
    0x90, 0xb6, 0x8b, 0xb5, 0xbd, 0xc0, 0xbf, 0x08, 0x97, 0x1e, 0x6c, 0xe2, 0x61, 0xe0, 0xc6, 0xc1, 0x59, 0xab, 0xbb,
    0x58, 0xde, 0x5f, 0xdf, 0x60, 0x79, 0x7e, 0xb2, 0x8a,
};

constexpr std::array<std::uint8_t, 256> inverse(const std::array<std::uint8_t, 256>& t)
{
    std::array<std::uint8_t, 256> r{};
    for (int i = 0; i < 256; ++i)
        r[t[std::size_t(i)]] = std::uint8_t(i);
    return r;
}
constexpr std::array<std::uint8_t, 256> kDecode = inverse(kEncode);
static_assert(kDecode[0] == 0x47 && kDecode[1] == 0xf1 && kDecode[255] == 0xec);  // the published decoding table
static_assert(inverse(kMix) == kMix);

// The cyclic scheme is its own inverse.
void cyclic(QByteArray& data, std::uint32_t key)
{
    std::uint16_t w = std::uint16_t(key ^ (key >> 16));
    for (char& c : data) {
        std::uint8_t b = std::uint8_t(c);
        b = std::uint8_t(b + std::uint8_t(w));
        b = kEncode[b];
        b = std::uint8_t(b + std::uint8_t(w >> 8));
        b = kMix[b];
        b = std::uint8_t(b - std::uint8_t(w >> 8));
        b = kDecode[b];
        b = std::uint8_t(b - std::uint8_t(w));
        c = char(b);
        ++w;
    }
}

void substitute(QByteArray& data, const std::array<std::uint8_t, 256>& table)
{
    for (char& c : data)
        c = char(table[std::uint8_t(c)]);
}

}  // namespace

int maxBlockData(PstFormat format)
{
    return format == PstFormat::Ansi ? 8180 : format == PstFormat::Unicode4K ? 65536 - 24 : 8176;
}

QByteArray encodeBlock(PstEncoding encoding, std::uint32_t key, QByteArray data)
{
    if (encoding == PstEncoding::Compressible)
        substitute(data, kEncode);
    else if (encoding == PstEncoding::Cyclic)
        cyclic(data, key);
    return data;
}

namespace {

bool isFMapIndex(std::uint64_t amapIndex)
{
    return amapIndex >= 128 && (amapIndex - 128) % 496 == 0;
}

}  // namespace

std::uint32_t pstCrc(const char* data, std::size_t size, std::uint32_t crc)
{
    const auto& t = crcTable();
    for (std::size_t i = 0; i < size; ++i)
        crc = t[(crc ^ std::uint8_t(data[i])) & 0xFF] ^ (crc >> 8);
    return crc;
}

NdbFile::NdbFile(const QString& path, const NdbOptions& options)
    : m_options(options)
    , m_file(path)
{
    if (ansi()) {
        m_idSize = 4;
        m_trailerSize = 12;
        m_pageData = 500;
        m_pageEntries = 496;
    } else if (largePages()) {
        // 4 KiB pages: 4056 bytes of entries, cEnt and cEntMax of 2 bytes,
        // cbEnt, cLevel, padding, then a 24-byte trailer. Blocks on 512-byte
        // boundaries with a 24-byte trailer. One allocation map every
        // 4072 * 8 * 512 bytes from 0x22000, a bit for 512 bytes.
        m_trailerSize = 24;
        m_pageSize = 4096;
        m_pageData = 4072;
        m_pageEntries = 4056;
        m_blockAlign = 512;
        m_firstAMap = 0x22000;
        m_mapUnit = 512;
        m_mapBytes = 4072;
    }
    if (options.compress && !largePages())
        throw std::runtime_error("only files with 4 KiB pages hold compressed blocks");
    m_maxData = detail::maxBlockData(options.format);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot create " + path.toStdString() + ": " + m_file.errorString().toStdString());
    // Header and density list come first; data starts after the first maps.
    m_cursor = m_firstAMap;
    m_tailStart = 0;
    m_tail = QByteArray(int(m_firstAMap), '\0');
}

void NdbFile::putId(QByteArray& b, int at, std::uint64_t v) const
{
    if (m_idSize == 4)
        put32(b, at, std::uint32_t(v));
    else
        put64(b, at, v);
}

NdbFile::~NdbFile() = default;

std::uint64_t NdbFile::reservedEnd(std::uint64_t amapIndex) const
{
    std::uint64_t start = m_firstAMap + amapIndex * amapCoverage();
    std::uint64_t end = start + std::uint64_t(m_pageSize);  // AMap
    if (largePages())
        return end;  // no PMaps or FMaps
    if (amapIndex % 8 == 0)
        end += std::uint64_t(m_pageSize);  // PMap
    if (isFMapIndex(amapIndex))
        end += std::uint64_t(m_pageSize);  // FMap
    return end;
}

std::uint64_t NdbFile::allocate(std::uint64_t size, std::uint64_t align)
{
    std::uint64_t ib = (m_cursor + align - 1) / align * align;
    for (;;) {
        std::uint64_t index = (ib - m_firstAMap) / amapCoverage();
        std::uint64_t regionStart = m_firstAMap + index * amapCoverage();
        std::uint64_t dataStart = reservedEnd(index);
        if (ib < dataStart) {
            ib = (dataStart + align - 1) / align * align;
            continue;
        }
        if (ib + size > regionStart + amapCoverage()) {
            ib = regionStart + amapCoverage();
            continue;
        }
        break;
    }
    // ANSI offsets are 32-bit and signed in practice: 2 GB at most.
    const std::uint64_t limit = ansi() ? (std::uint64_t(1) << 31) - amapCoverage() : (std::uint64_t(1) << 31) * 15;
    if (ib + size > limit)
        throw std::runtime_error("PST file would grow beyond the supported size");
    m_cursor = ib + size;
    markAllocated(ib, size);
    return ib;
}

void NdbFile::markAllocated(std::uint64_t ib, std::uint64_t size)
{
    std::uint64_t first = (ib - m_firstAMap) / m_mapUnit;
    std::uint64_t last = (ib + size - 1 - m_firstAMap) / m_mapUnit;
    if (m_amapBits.size() <= last / 8)
        m_amapBits.resize(std::max<std::size_t>(last / 8 + 1, m_amapBits.size() * 2), 0);
    for (std::uint64_t s = first; s <= last; ++s)
        m_amapBits[s / 8] |= std::uint8_t(0x80 >> (s % 8));
}

void NdbFile::put(std::uint64_t ib, const QByteArray& bytes)
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

std::uint64_t NdbFile::writeBlock(const QByteArray& data, bool internal, bool whole)
{
    if (data.size() > m_maxData)
        throw std::runtime_error("internal error: block too large");
    if (ansi() && m_nextBid > 0xFFFFFFF0u)
        throw std::runtime_error("too many blocks for an ANSI file");
    std::uint64_t bid = m_nextBid | (internal ? 2 : 0);
    m_nextBid += 4;
    // Only data blocks are encoded. A compressed block holds the encoded
    // bytes deflated (a zlib stream); only blocks that hold a node's whole
    // data are compressed, as libpff (20180714) reads no other compressed
    // block right. The check value covers the stored bytes.
    QByteArray stored = internal ? data : encodeBlock(m_options.encoding, std::uint32_t(bid), data);
    if (m_options.compress && whole && !internal && !stored.isEmpty()) {
        uLongf size = compressBound(uLong(stored.size()));
        QByteArray deflated(qsizetype(size), '\0');
        if (compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
                      reinterpret_cast<const Bytef*>(stored.constData()), uLong(stored.size()), Z_BEST_COMPRESSION)
            != Z_OK)
            throw std::runtime_error("cannot compress a block");
        if (qsizetype(size) < stored.size())
            stored = deflated.left(qsizetype(size));
    }
    const std::uint64_t size = (std::uint64_t(stored.size()) + std::uint64_t(m_trailerSize) + m_blockAlign - 1)
        / m_blockAlign * m_blockAlign;
    std::uint64_t ib = allocate(size, m_blockAlign);
    QByteArray block(int(size), '\0');
    std::copy(stored.begin(), stored.end(), block.begin());
    int t = int(size) - m_trailerSize;
    put16(block, t, std::uint16_t(stored.size()));
    put16(block, t + 2, computeSig(ib, bid));
    if (ansi()) {
        put32(block, t + 4, std::uint32_t(bid));
        put32(block, t + 8, pstCrc(stored));
    } else {
        put32(block, t + 4, pstCrc(stored));
        put64(block, t + 8, bid);
        if (largePages())
            put16(block, t + 18, std::uint16_t(data.size()));  // after 2 bytes of unknown use
    }
    put(ib, block);
    m_bbt.push_back({bid, ib, std::uint16_t(stored.size()), std::uint16_t(data.size()), 1});
    return bid;
}

void NdbFile::addReference(std::uint64_t bid)
{
    std::size_t index = std::size_t(bid >> 2) - 1;
    if (index >= m_bbt.size() || m_bbt[index].bid != bid)
        throw std::runtime_error("internal error: unknown block");
    ++m_bbt[index].refs;
}

std::uint64_t NdbFile::writeData(const std::vector<QByteArray>& pieces)
{
    if (pieces.empty())
        return 0;
    if (pieces.size() == 1)
        return writeBlock(pieces.front());
    const std::size_t perX = std::size_t(m_maxData - 8) / std::size_t(m_idSize);  // 1021 or 2043
    std::uint32_t total = 0;
    std::vector<std::uint64_t> bids;
    std::vector<std::uint32_t> sizes;
    bids.reserve(pieces.size());
    for (const QByteArray& p : pieces) {
        bids.push_back(writeBlock(p, false, false));
        sizes.push_back(std::uint32_t(p.size()));
        total += std::uint32_t(p.size());
    }
    auto xblock = [&](std::uint8_t level, const std::uint64_t* ids, std::size_t n, std::uint32_t bytes) {
        QByteArray b(int(8 + std::size_t(m_idSize) * n), '\0');
        b[0] = char(0x01);
        b[1] = char(level);
        put16(b, 2, std::uint16_t(n));
        put32(b, 4, bytes);
        for (std::size_t i = 0; i < n; ++i)
            putId(b, int(8 + std::size_t(m_idSize) * i), ids[i]);
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

std::uint64_t NdbFile::writeBytes(const QByteArray& bytes)
{
    std::vector<QByteArray> pieces;
    for (qsizetype at = 0; at < bytes.size(); at += m_maxData)
        pieces.push_back(bytes.mid(at, m_maxData));
    return writeData(pieces);
}

std::uint64_t NdbFile::writeSubnodes(std::vector<SubnodeEntry> entries)
{
    if (entries.empty())
        return 0;
    std::sort(entries.begin(), entries.end(),
              [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
    // SLENTRY: nid, bidData, bidSub; SIENTRY: nid, bid. The Unicode header
    // has 4 bytes of padding after the count, the ANSI one none.
    const int w = m_idSize;
    const int head = ansi() ? 4 : 8;
    const std::size_t perSL = std::size_t(m_maxData - head) / std::size_t(3 * w);  // 340 or 681
    const std::size_t perSI = std::size_t(m_maxData - head) / std::size_t(2 * w);  // 510 or 1022
    std::vector<std::pair<std::uint32_t, std::uint64_t>> leaves;
    for (std::size_t at = 0; at < entries.size(); at += perSL) {
        std::size_t n = std::min(perSL, entries.size() - at);
        QByteArray b(int(head + 3 * w * int(n)), '\0');
        b[0] = char(0x02);
        b[1] = char(0x00);
        put16(b, 2, std::uint16_t(n));
        for (std::size_t i = 0; i < n; ++i) {
            const SubnodeEntry& e = entries[at + i];
            const int at0 = head + 3 * w * int(i);
            putId(b, at0, e.nid);
            putId(b, at0 + w, e.bidData);
            putId(b, at0 + 2 * w, e.bidSub);
        }
        leaves.emplace_back(entries[at].nid, writeBlock(b, true));
    }
    if (leaves.size() == 1)
        return leaves.front().second;
    if (leaves.size() > perSI)
        throw std::runtime_error("too many subnodes in one node");
    QByteArray b(int(head + 2 * w * int(leaves.size())), '\0');
    b[0] = char(0x02);
    b[1] = char(0x01);
    put16(b, 2, std::uint16_t(leaves.size()));
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        putId(b, head + 2 * w * int(i), leaves[i].first);
        putId(b, head + 2 * w * int(i) + w, leaves[i].second);
    }
    return writeBlock(b, true);
}

void NdbFile::addNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub, std::uint32_t nidParent)
{
    m_nbt.push_back({nid, bidData, bidSub, nidParent});
}

std::uint64_t NdbFile::writePage(QByteArray page, std::uint8_t ptype, std::uint64_t ib, std::uint64_t bid,
                                 bool signature)
{
    // Page trailer: type twice, signature, then CRC and id (Unicode) or id
    // and CRC (ANSI), and with 4 KiB pages 8 bytes of unknown use. The CRC
    // covers everything before the trailer.
    const int t = m_pageData;
    page.resize(m_pageSize, '\0');
    page[t] = char(ptype);
    page[t + 1] = char(ptype);
    put16(page, t + 2, signature ? computeSig(ib, bid) : 0);
    const std::uint32_t crc = pstCrc(page.constData(), std::size_t(t));
    if (ansi()) {
        put32(page, t + 4, std::uint32_t(bid));
        put32(page, t + 8, crc);
    } else {
        put32(page, t + 4, crc);
        put64(page, t + 8, bid);
    }
    put(ib, page);
    return ib;
}

// Builds a B-tree bottom up; returns the root page's offset.
std::uint64_t NdbFile::writeBTree(std::uint8_t ptype, const std::vector<QByteArray>& leafEntries, int leafSize,
                                  std::vector<std::uint64_t> keys, std::uint64_t* rootBid)
{
    struct Ref {
        std::uint64_t key, bid, ib;
    };
    std::vector<Ref> level;
    const int leafMax = m_pageEntries / leafSize;
    const int branchSize = 3 * m_idSize;  // key, BREF (bid, ib)
    const int branchMax = m_pageEntries / branchSize;
    auto page = [&](const std::vector<QByteArray>& ents, int cbEnt, int cEntMax, int cLevel, std::uint64_t key) {
        QByteArray p(m_pageSize, '\0');
        for (std::size_t i = 0; i < ents.size(); ++i)
            std::copy(ents[i].begin(), ents[i].end(), p.begin() + qsizetype(i) * cbEnt);
        if (largePages()) {
            put16(p, m_pageEntries, std::uint16_t(ents.size()));
            put16(p, m_pageEntries + 2, std::uint16_t(cEntMax));
            p[m_pageEntries + 4] = char(cbEnt);
            p[m_pageEntries + 5] = char(cLevel);
        } else {
            p[m_pageEntries] = char(ents.size());
            p[m_pageEntries + 1] = char(cEntMax);
            p[m_pageEntries + 2] = char(cbEnt);
            p[m_pageEntries + 3] = char(cLevel);
        }
        std::uint64_t bid = m_nextPageBid++;
        std::uint64_t ib = allocate(std::uint64_t(m_pageSize), std::uint64_t(m_pageSize));
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
        for (std::size_t at = 0; at < level.size(); at += std::size_t(branchMax)) {
            std::size_t n = std::min<std::size_t>(std::size_t(branchMax), level.size() - at);
            std::vector<QByteArray> ents;
            for (std::size_t i = at; i < at + n; ++i) {
                QByteArray e(branchSize, '\0');
                putId(e, 0, level[i].key);
                putId(e, m_idSize, level[i].bid);
                putId(e, 2 * m_idSize, level[i].ib);
                ents.push_back(e);
            }
            up.push_back(page(ents, branchSize, branchMax, cLevel, level[at].key));
        }
        level.swap(up);
    }
    *rootBid = level.front().bid;
    return level.front().ib;
}

void NdbFile::finish(const HeaderValues& values)
{
    std::sort(m_nbt.begin(), m_nbt.end(), [](const NbtEntry& a, const NbtEntry& b) { return a.nid < b.nid; });
    for (std::size_t i = 1; i < m_nbt.size(); ++i)
        if (m_nbt[i].nid == m_nbt[i - 1].nid)
            throw std::runtime_error("internal error: node written twice");

    // BBTENTRY: BREF (bid, ib), cb, cRef (and 4 bytes of padding in Unicode;
    // with 4 KiB pages the inflated size comes between cb and cRef, and 2 of
    // padding remain).
    // NBTENTRY: nid, bidData, bidSub, nidParent (and padding in Unicode).
    const int w = m_idSize;
    const int bbtSize = ansi() ? 12 : 24;
    const int nbtSize = ansi() ? 16 : 32;
    std::vector<QByteArray> bbtEntries;
    std::vector<std::uint64_t> bbtKeys;
    bbtEntries.reserve(m_bbt.size());
    for (const BbtEntry& e : m_bbt) {
        QByteArray b(bbtSize, '\0');
        putId(b, 0, e.bid);
        putId(b, w, e.ib);
        const int refsAt = largePages() ? 2 * w + 4 : 2 * w + 2;
        put16(b, 2 * w, e.cb);
        if (largePages())
            put16(b, 2 * w + 2, e.cbInflated);
        put16(b, refsAt, std::uint16_t(std::min<std::uint32_t>(e.refs + 1, 0xFFFF)));
        bbtEntries.push_back(b);
        bbtKeys.push_back(e.bid);
    }
    std::vector<QByteArray> nbtEntries;
    std::vector<std::uint64_t> nbtKeys;
    nbtEntries.reserve(m_nbt.size());
    for (const NbtEntry& e : m_nbt) {
        QByteArray b(nbtSize, '\0');
        putId(b, 0, e.nid);  // a node id widened to the key size
        putId(b, w, e.bidData);
        putId(b, 2 * w, e.bidSub);
        put32(b, 3 * w, e.parent);
        nbtEntries.push_back(b);
        nbtKeys.push_back(e.nid);
    }
    std::uint64_t bbtBid = 0, nbtBid = 0;
    std::uint64_t bbtIb = writeBTree(kPtypeBBT, bbtEntries, bbtSize, bbtKeys, &bbtBid);
    std::uint64_t nbtIb = writeBTree(kPtypeNBT, nbtEntries, nbtSize, nbtKeys, &nbtBid);

    // The file grows in whole AMap intervals.
    const std::uint64_t coverage = amapCoverage();
    std::uint64_t amapCount = (m_cursor - m_firstAMap + coverage - 1) / coverage;
    if (amapCount == 0)
        amapCount = 1;
    std::uint64_t eof = m_firstAMap + amapCount * coverage;
    for (std::uint64_t i = 0; i < amapCount; ++i) {
        std::uint64_t start = m_firstAMap + i * coverage;
        markAllocated(start, reservedEnd(i) - start);
    }
    m_amapBits.resize(std::size_t(amapCount * std::uint64_t(m_mapBytes)), 0);

    // AMap and PMap bits follow 4 bytes of padding in ANSI files; FMap bits
    // come first in both layouts.
    const int bitsAt = ansi() ? 4 : 0;
    std::uint64_t freeBytes = 0;
    std::vector<std::uint8_t> longestFree(amapCount, 0);
    for (std::uint64_t i = 0; i < amapCount; ++i) {
        std::uint64_t start = m_firstAMap + i * coverage;
        QByteArray page(m_pageData, '\0');
        std::uint64_t run = 0, best = 0;
        for (int k = 0; k < m_mapBytes; ++k) {
            std::uint8_t byte = m_amapBits[std::size_t(i * std::uint64_t(m_mapBytes) + std::uint64_t(k))];
            page[bitsAt + k] = char(byte);
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
        if (i % 8 == 0 && !largePages()) {
            QByteArray pmap(m_pageData, '\0');
            std::fill(pmap.begin() + bitsAt, pmap.begin() + bitsAt + m_mapBytes, char(0xFF));
            writePage(pmap, kPtypePMap, start + 512, start + 512, false);
        }
    }
    for (std::uint64_t i = 0; i < amapCount; ++i) {
        if (!isFMapIndex(i) || largePages())
            continue;
        std::uint64_t start = m_firstAMap + i * coverage + 1024;
        QByteArray page(m_pageData, '\0');
        for (std::uint64_t k = 0; k < std::uint64_t(m_mapBytes) && i + k < amapCount; ++k)
            page[int(k)] = char(longestFree[i + k]);
        writePage(page, kPtypeFMap, start, start, false);
    }
    freeBytes *= m_mapUnit;
    // Empty density list (none with 4 KiB pages, where its place is not known).
    if (!largePages())
        writePage(QByteArray(m_pageData, '\0'), kPtypeDL, kDListOffset, m_nextPageBid++, true);
    flushTail();
    // The rest of the last interval is empty: left to the file system's holes.
    if (std::uint64_t(m_file.size()) < eof && !m_file.resize(qint64(eof)))
        throw std::runtime_error("cannot write " + m_file.fileName().toStdString() + ": "
                                 + m_file.errorString().toStdString());

    const QByteArray h
        = header(values, eof, m_firstAMap + (amapCount - 1) * coverage, freeBytes, nbtBid, nbtIb, bbtBid, bbtIb);
    put(0, h);
    if (!m_file.flush())
        throw std::runtime_error("cannot write " + m_file.fileName().toStdString());
    m_file.close();
}

QByteArray NdbFile::header(const HeaderValues& values, std::uint64_t eof, std::uint64_t amapLast,
                           std::uint64_t freeBytes, std::uint64_t nbtBid, std::uint64_t nbtIb, std::uint64_t bbtBid,
                           std::uint64_t bbtIb) const
{
    // Offsets of the two layouts: where rgnid, the ROOT and rgbFM start, and
    // where bSentinel sits (bCryptMethod follows it).
    const int rgnidAt = ansi() ? 36 : 44;
    const int rootAt = ansi() ? 164 : 180;
    const int fmAt = ansi() ? 204 : 256;
    const int sentinelAt = ansi() ? 460 : 512;
    const int w = m_idSize;

    QByteArray h(ansi() ? 512 : 564, '\0');
    h[0] = '!';
    h[1] = 'B';
    h[2] = 'D';
    h[3] = 'N';
    if (m_options.kind == PstKind::Ost) {
        h[8] = 'S';
        h[9] = 'O';
    } else {
        h[8] = 'S';
        h[9] = 'M';
    }
    put16(h, 10, ansi() ? 15 : largePages() ? 36 : 23);  // wVer
    put16(h, 12, 19);  // wVerClient
    h[14] = 1;  // bPlatformCreate
    h[15] = 1;  // bPlatformAccess
    if (ansi()) {
        put32(h, 24, std::uint32_t(m_nextBid));  // bidNextB
        put32(h, 28, std::uint32_t(m_nextPageBid));  // bidNextP
        put32(h, 32, values.dwUnique);
    } else {
        put64(h, 32, m_nextPageBid);  // bidNextP
        put32(h, 40, values.dwUnique);
    }
    for (int i = 0; i < 32; ++i)
        put32(h, rgnidAt + 4 * i, values.rgnid[i]);
    // ROOT: dwReserved, ibFileEof, ibAMapLast, cbAMapFree, cbPMapFree,
    // BREFNBT, BREFBBT, fAMapValid.
    const int r = rootAt;
    putId(h, r + 4, eof);
    putId(h, r + 4 + w, amapLast);
    putId(h, r + 4 + 2 * w, freeBytes);
    putId(h, r + 4 + 3 * w, 0);
    putId(h, r + 4 + 4 * w, nbtBid);
    putId(h, r + 4 + 5 * w, nbtIb);
    putId(h, r + 4 + 6 * w, bbtBid);
    putId(h, r + 4 + 7 * w, bbtIb);
    h[r + 4 + 8 * w] = 0x02;  // VALID_AMAP2
    std::fill(h.begin() + fmAt, h.begin() + fmAt + 256, char(0xFF));  // rgbFM, rgbFP
    h[sentinelAt] = char(0x80);  // bSentinel
    h[sentinelAt + 1] = char(m_options.encoding == PstEncoding::Compressible ? 1
                                 : m_options.encoding == PstEncoding::Cyclic ? 2
                                                                             : 0);  // bCryptMethod
    if (!ansi())
        put64(h, 516, m_nextBid);  // bidNextB
    put32(h, 4, pstCrc(h.constData() + 8, 471));  // dwCRCPartial
    if (!ansi())
        put32(h, 524, pstCrc(h.constData() + 8, 516));  // dwCRCFull
    return h;
}

}  // namespace pstwriter::detail
