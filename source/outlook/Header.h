#pragma once
// The file header: which kind of file it is, its layout and page size, its
// encoding and where the two B-trees start.

#include "source/outlook/Encoding.h"
#include "source/outlook/Format.h"

#include <QString>

namespace outlook::pst {

// A reference to a block or page: its id and its file offset.
struct BlockRef {
    std::uint64_t bid = 0;
    std::uint64_t ib = 0;
};

struct Header {
    // Enough bytes for either layout's header.
    static constexpr std::size_t kReadSize = 564;

    Geometry geometry = kUnicodeGeometry;  // the layout, its page and block sizes
    bool offline = false;  // an offline folder file (.ost) rather than a .pst
    std::uint16_t version = 0;  // wVer
    CryptMethod crypt = CryptMethod::None;
    std::uint64_t fileEof = 0;  // ibFileEof: the size the file says it has
    BlockRef nodeBTree;  // BREFNBT
    BlockRef blockBTree;  // BREFBBT

    // Reads the header from the first bytes of the file (`size` of them, up
    // to kReadSize). Throws OutlookError naming `path` and the reason when
    // the file is not a data file this reader reads, or its header is damaged.
    static Header parse(const std::uint8_t* bytes, std::size_t size, const QString& path);
};

}  // namespace outlook::pst
