#include "source/outlook/Block.h"

#include "source/outlook/Crc.h"

#include <libdeflate.h>

#include <algorithm>

namespace outlook::pst {

namespace {
constexpr std::uint8_t kDataTreeType = 0x01;  // btype of XBLOCK / XXBLOCK
constexpr std::uint8_t kSubnodeType = 0x02;  // btype of SLBLOCK / SIBLOCK
}  // namespace

void checkBlockTrailer(const std::uint8_t* stored, std::size_t storedSize, const BlockEntry& entry, const Geometry& g)
{
    // cb, wSig, then dwCRC and bid (Unicode) or bid and dwCRC (ANSI); with 4
    // KiB pages 2 bytes of unknown use, the inflated size and 4 more bytes
    // follow the Unicode fields.
    const Layout l = g.layout;
    const std::uint8_t* t = stored + storedSize - g.blockTrailerSize;
    const std::uint16_t cb = u16(t);
    const std::uint16_t sig = u16(t + 2);
    const std::uint32_t storedCrc = l == Layout::Unicode ? u32(t + 4) : u32(t + 8);
    const std::uint64_t bid = l == Layout::Unicode ? u64(t + 8) : u32(t + 4);
    const std::uint16_t inflated = g.largePages ? inflatedSize(cb, u16(t + 18)) : cb;
    if (cb != entry.cb || inflated != entry.cbInflated || blockKey(bid) != blockKey(entry.bid))
        damaged("a block is not the one referred to");
    if (sig != signature(entry.ib, bid))
        damaged("a block's signature is wrong");
    if (kCheckCrc && crc(stored, cb) != storedCrc)
        damaged("a block fails its check");
}

void inflateBlock(const std::uint8_t* stored, const BlockEntry& entry, std::uint8_t* to,
                  libdeflate_decompressor* decompressor)
{
    // A zlib stream (RFC 1950): a 2-byte header, deflated data, the Adler-32
    // of the data. The fuzz build looks past the header and the Adler-32 as
    // past every check value.
    libdeflate_result r;
    if (kCheckCrc) {
        r = libdeflate_zlib_decompress(decompressor, stored, entry.cb, to, entry.cbInflated, nullptr);
    } else {
        const std::size_t skip = std::min<std::size_t>(2, entry.cb);
        std::size_t in = 0;
        r = libdeflate_deflate_decompress_ex(decompressor, stored + skip, entry.cb - skip, to, entry.cbInflated, &in,
                                             nullptr);
    }
    if (r != LIBDEFLATE_SUCCESS)
        damaged("a compressed block does not inflate to its size");
}

DataTreeBlock parseDataTreeBlock(const Bytes& b, Layout l)
{
    if (b.size() < 8 || b[0] != kDataTreeType || (b[1] != 1 && b[1] != 2))
        damaged("a data tree block is inconsistent");
    DataTreeBlock out;
    out.level = b[1];
    const std::size_t count = u16(b.data() + 2);
    out.totalSize = u32(b.data() + 4);
    const std::size_t w = wideSize(l);
    if (8 + count * w > b.size() || count == 0)
        damaged("a data tree block is inconsistent");
    if (out.totalSize > kMaxNodeData)
        damaged("a node is impossibly large");
    out.children.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.children.push_back(wide(b.data() + 8 + i * w, l));
    return out;
}

SubnodeBlock parseSubnodeBlock(const Bytes& b, Layout l)
{
    const std::size_t head = l == Layout::Unicode ? 8 : 4;  // btype, cLevel, cEnt (+ padding)
    if (b.size() < head || b[0] != kSubnodeType || b[1] > 1)
        damaged("a sub-node block is inconsistent");
    SubnodeBlock out;
    out.level = b[1];
    const std::size_t count = u16(b.data() + 2);
    const std::size_t w = wideSize(l);
    const std::size_t size = out.level == 0 ? 3 * w : 2 * w;  // SLENTRY / SIENTRY
    if (head + count * size > b.size())
        damaged("a sub-node block is inconsistent");
    out.entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = b.data() + head + i * size;
        SubnodeEntry s;
        s.nid = std::uint32_t(wide(e, l));
        s.bidData = wide(e + w, l);
        if (out.level == 0)
            s.bidSub = wide(e + 2 * w, l);
        out.entries.push_back(s);
    }
    return out;
}

}  // namespace outlook::pst
