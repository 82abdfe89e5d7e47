#pragma once
// Pieces every on-disk structure of an Outlook data file shares: the two
// layouts, little-endian fields, the limits beyond which a file is taken to
// be damaged, and the one way damage is reported.

#include "source/outlook/Outlook.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace outlook::pst {

// Files of Outlook 97-2002 use 32-bit ids and offsets ("ANSI"); later ones
// use 64-bit ids and offsets ("Unicode").
enum class Layout { Ansi, Unicode };

using Bytes = std::vector<std::uint8_t>;

// A run of bytes owned elsewhere.
struct Span {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// Where the variants of the Unicode layout part: files have 512-byte pages
// (B-tree pages, allocation maps) and blocks of at most 8 KiB with their
// trailer on 64-byte boundaries; offline folder files of Outlook 2013 and
// later have 4 KiB pages and blocks of at most 64 KiB on 512-byte
// boundaries, whose data may be stored zlib-compressed.
struct Geometry {
    Layout layout;
    std::size_t pageSize;
    std::size_t maxBlockSize;  // a block with its trailer
    std::size_t blockAlignment;
    std::size_t blockTrailerSize;
    bool largePages;  // the 4 KiB-page variant
};
constexpr Geometry kAnsiGeometry{Layout::Ansi, 512, 8192, 64, 12, false};
constexpr Geometry kUnicodeGeometry{Layout::Unicode, 512, 8192, 64, 16, false};
constexpr Geometry kUnicode4kGeometry{Layout::Unicode, 4096, 65536, 512, 24, true};
static_assert((kUnicode4kGeometry.pageSize & (kUnicode4kGeometry.pageSize - 1)) == 0
              && (kUnicodeGeometry.pageSize & (kUnicodeGeometry.pageSize - 1)) == 0);

// Beyond these a file is taken to be damaged rather than read.
constexpr int kMaxTreeDepth = 16;  // B-tree and sub-node tree levels
constexpr std::uint64_t kMaxNodeData = 64u * 1024 * 1024;  // one node's data
constexpr std::size_t kMaxProperties = 65536;  // properties of one item

inline std::uint16_t u16(const std::uint8_t* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline std::uint32_t u32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline std::uint64_t u64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the reader assumes a little-endian machine");

// An id or offset of the layout's width: 4 bytes (ANSI) or 8 (Unicode).
inline std::uint64_t wide(const std::uint8_t* p, Layout layout)
{
    return layout == Layout::Unicode ? u64(p) : u32(p);
}
inline std::size_t wideSize(Layout layout)
{
    return layout == Layout::Unicode ? 8 : 4;
}

// Damage to the file's structures: throws OutlookError("the data file is damaged: what").
[[noreturn]] void damaged(const char* what);

}  // namespace outlook::pst
