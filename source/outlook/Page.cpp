#include "source/outlook/Page.h"

#include "source/outlook/Crc.h"

namespace outlook::pst {

namespace {
// Where the fields sit in each layout.
struct PageLayout {
    std::size_t entryBytes;  // size of rgentries
    std::size_t trailer;  // offset of the PAGETRAILER
    std::size_t sig, crc, bid;  // offsets inside the trailer
};
constexpr PageLayout kUnicodePage{488, 496, 2, 4, 8};
constexpr PageLayout kAnsiPage{496, 500, 2, 8, 4};
}  // namespace

void checkPageTrailer(const std::uint8_t* p, Layout layout, PageType type, std::uint64_t bid, std::uint64_t ib)
{
    const PageLayout& L = layout == Layout::Unicode ? kUnicodePage : kAnsiPage;
    const std::uint8_t* t = p + L.trailer;
    if (t[0] != type || t[1] != type)
        damaged("a B-tree page is not of its kind");
    if (kCheckCrc && crc(p, L.trailer) != u32(t + L.crc))
        damaged("a B-tree page fails its check");
    if (wide(t + L.bid, layout) != bid || u16(t + L.sig) != signature(ib, bid))
        damaged("a B-tree page is not the one referred to");
}

BTreePage parseBTreePage(const std::uint8_t* p, Layout layout)
{
    const PageLayout& L = layout == Layout::Unicode ? kUnicodePage : kAnsiPage;
    BTreePage out;
    out.entries = p;
    out.count = p[L.entryBytes];
    out.entrySize = p[L.entryBytes + 2];
    out.level = p[L.entryBytes + 3];
    if (out.entrySize == 0 || std::size_t(out.count) * std::size_t(out.entrySize) > L.entryBytes
        || out.level >= kMaxTreeDepth)
        damaged("a B-tree page is inconsistent");
    return out;
}

}  // namespace outlook::pst
