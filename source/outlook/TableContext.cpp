#include "source/outlook/TableContext.h"

#include "source/outlook/Property.h"

#include <algorithm>

namespace outlook::pst {

namespace {
// TCINFO: bType, cCols, rgib[4] (ends of the 4-, 2- and 1-byte columns and
// of the existence bitmap), hidRowIndex, hnidRows, hidIndex, then cCols
// TCOLDESC of 8 bytes: tag, ibData, cbData, iBit.
constexpr std::size_t kInfoHead = 22;
constexpr std::size_t kColumnSize = 8;
enum { TCI_4b = 0, TCI_2b = 1, TCI_1b = 2, TCI_bm = 3 };
}  // namespace

TableContext::TableContext(Ndb& ndb, std::uint32_t nid)
    : ndb_(ndb)
{
    const NodeEntry node = ndb.node(nid);
    bidSub_ = node.bidSub;
    heap_.emplace(ndb, node.bidData, kHeapTableContext);
    const Span info = heap_->allocation(heap_->userRoot());
    if (info.size < kInfoHead || info.data[0] != kHeapTableContext)
        damaged("a table has no valid description");
    const std::size_t count = info.data[1];
    if (info.size < kInfoHead + count * kColumnSize)
        damaged("a table description is cut short");
    std::size_t ends[4];
    for (int i = 0; i < 4; ++i)
        ends[i] = u16(info.data + 2 + 2 * i);
    if (!(ends[TCI_4b] <= ends[TCI_2b] && ends[TCI_2b] <= ends[TCI_1b] && ends[TCI_1b] <= ends[TCI_bm])
        || ends[TCI_bm] - ends[TCI_1b] < (count + 7) / 8 || ends[TCI_bm] == 0)
        damaged("a table's rows are laid out impossibly");
    rowSize_ = ends[TCI_bm];
    bitmapOffset_ = ends[TCI_1b];
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* c = info.data + kInfoHead + i * kColumnSize;
        Column col{u32(c), u16(c + 4), c[6], c[7]};
        if (std::size_t(col.offset) + col.size > bitmapOffset_ || col.bit >= count)
            damaged("a table column lies outside its row");
        columns_.push_back(col);
    }

    const std::uint32_t hnidRows = u32(info.data + 14);
    if (hnidRows == 0) {
        rows_ = 0;
    } else if ((hnidRows & 0x1F) == 0) {
        heapRows_ = heap_->allocation(hnidRows);
        rows_ = heapRows_.size / rowSize_;
    } else {
        const auto sub = ndb.findSubnode(node.bidSub, hnidRows);
        if (!sub)
            damaged("a table's rows are missing");
        if (rowSize_ > maxBlockData(ndb.geometry()))
            damaged("a table's rows are impossibly large");
        // Rows never straddle blocks, and every block but the last holds as
        // many as the first: as many as 8,176 bytes take in files with
        // 512-byte pages. The count is taken from the first block's size,
        // which for files with 4 KiB pages no published description gives.
        rowBlocks_ = ndb.dataBlocks(sub->bidData);
        const std::size_t firstSize = ndb.blockSize(rowBlocks_.front());
        // Outlook pads such a block after its last whole row (the Exchange
        // offline sample does), so the count is the whole rows it holds.
        if (rowBlocks_.size() > 1 && firstSize < rowSize_)
            damaged("a block of table rows is not full");
        rowsPerBlock_ = std::max<std::size_t>(firstSize / rowSize_, 1);
        // Only the last block needs reading to know how many rows there are.
        loadedBlock_ = rowBlocks_.size() - 1;
        block_ = ndb.readBlock(rowBlocks_.back());
        if (block_.size() / rowSize_ > rowsPerBlock_)
            damaged("a block of table rows is larger than the first");
        rows_ = loadedBlock_ * rowsPerBlock_ + block_.size() / rowSize_;
    }
}

const std::uint8_t* TableContext::row(std::size_t index)
{
    if (index >= rows_)
        damaged("a table row is missing");
    if (rowBlocks_.empty())
        return heapRows_.data + index * rowSize_;
    const std::size_t blockIndex = index / rowsPerBlock_;
    if (blockIndex != loadedBlock_) {
        loadedBlock_ = ~std::size_t(0);
        block_ = ndb_.readBlock(rowBlocks_[blockIndex]);
        // Outlook fills a block that is not the last to its end: the bytes
        // after its last whole row are padding.
        if (blockIndex + 1 < rowBlocks_.size() && block_.size() < rowsPerBlock_ * rowSize_)
            damaged("a block of table rows is not full");
        loadedBlock_ = blockIndex;
    }
    const std::size_t at = (index % rowsPerBlock_) * rowSize_;
    if (at + rowSize_ > block_.size())
        damaged("a table row is missing");
    return block_.data() + at;
}

std::optional<std::uint32_t> TableContext::cell32(std::size_t index, std::uint16_t id)
{
    const std::uint32_t tag = std::uint32_t(id) << 16 | PT_LONG;
    for (const Column& c : columns_) {
        if (c.tag != tag)
            continue;
        if (c.size != 4)
            damaged("a table column has an impossible size");
        const std::uint8_t* r = row(index);
        if (!(r[bitmapOffset_ + c.bit / 8] & (0x80 >> (c.bit % 8))))
            return std::nullopt;
        return u32(r + c.offset);
    }
    return std::nullopt;
}

bool TableContext::hasColumn(std::uint16_t id) const
{
    for (const Column& c : columns_)
        if (c.tag >> 16 == id)
            return true;
    return false;
}

std::optional<QString> TableContext::cellText(std::size_t index, std::uint16_t id, int codepage)
{
    const std::uint32_t unicode = std::uint32_t(id) << 16 | PT_UNICODE;
    const std::uint32_t ansi = std::uint32_t(id) << 16 | PT_STRING8;
    for (const Column& c : columns_) {
        if (c.tag != unicode && c.tag != ansi)
            continue;
        if (c.size != 4)
            damaged("a table column has an impossible size");
        const std::uint8_t* r = row(index);
        if (!(r[bitmapOffset_ + c.bit / 8] & (0x80 >> (c.bit % 8))))
            return std::nullopt;
        // The cell names the value: a heap allocation, or a sub-node for a
        // large one.
        const std::uint32_t hnid = u32(r + c.offset);
        Property p;
        p.id = id;
        p.type = std::uint16_t(c.tag & 0xFFFF);
        Bytes large;
        if (hnid == 0) {
            // An empty text.
        } else if ((hnid & kNidTypeMask) == 0) {
            const Span s = heap_->allocation(hnid);
            p.data = reinterpret_cast<const char*>(s.data);
            p.size = std::uint32_t(s.size);
        } else {
            const auto sub = ndb_.findSubnode(bidSub_, hnid);
            if (!sub)
                damaged("a table cell refers to a missing sub-node");
            large = ndb_.readData(sub->bidData);
            p.data = reinterpret_cast<const char*>(large.data());
            p.size = std::uint32_t(large.size());
        }
        return toText(p, codepage);
    }
    return std::nullopt;
}

}  // namespace outlook::pst
