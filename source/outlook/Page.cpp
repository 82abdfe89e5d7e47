#include "source/outlook/Page.h"

#include "source/outlook/Crc.h"

namespace outlook::pst {

namespace {
// Where the fields sit in each variant.
struct PageLayout {
    std::size_t entryBytes;  // size of rgentries; cEnt follows
    bool wideCounts;  // cEnt and cEntMax of 2 bytes (else 1)
    std::size_t trailer;  // offset of the PAGETRAILER; the CRC covers the bytes before it
    std::size_t sig, crc, bid;  // offsets inside the trailer
};
constexpr PageLayout kAnsiPage{496, false, 500, 2, 8, 4};
constexpr PageLayout kUnicodePage{488, false, 496, 2, 4, 8};
// 4 KiB pages: cEnt and cEntMax of 2 bytes, then cbEnt and cLevel; the
// trailer is that of the Unicode layout followed by 8 bytes of unknown use.
constexpr PageLayout kUnicode4kPage{4056, true, 4072, 2, 4, 8};

const PageLayout& pageLayout(const Geometry& g)
{
    if (g.largePages)
        return kUnicode4kPage;
    return g.layout == Layout::Unicode ? kUnicodePage : kAnsiPage;
}
}  // namespace

void checkPageTrailer(const std::uint8_t* p, const Geometry& g, PageType type, std::uint64_t bid, std::uint64_t ib)
{
    const PageLayout& L = pageLayout(g);
    const std::uint8_t* t = p + L.trailer;
    if (t[0] != type || t[1] != type)
        damaged("a B-tree page is not of its kind");
    if (kCheckCrc && crc(p, L.trailer) != u32(t + L.crc))
        damaged("a B-tree page fails its check");
    if (wide(t + L.bid, g.layout) != bid || u16(t + L.sig) != signature(ib, bid))
        damaged("a B-tree page is not the one referred to");
}

BTreePage parseBTreePage(const std::uint8_t* p, const Geometry& g)
{
    const PageLayout& L = pageLayout(g);
    const std::uint8_t* f = p + L.entryBytes;
    BTreePage out;
    out.entries = p;
    if (L.wideCounts) {
        out.count = u16(f);
        out.entrySize = f[4];
        out.level = f[5];
    } else {
        out.count = f[0];
        out.entrySize = f[2];
        out.level = f[3];
    }
    if (out.entrySize == 0 || std::size_t(out.count) * std::size_t(out.entrySize) > L.entryBytes
        || out.level >= kMaxTreeDepth)
        damaged("a B-tree page is inconsistent");
    return out;
}

}  // namespace outlook::pst
