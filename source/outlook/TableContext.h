#pragma once
// The table context (TC) of a node: column descriptions (TCINFO, TCOLDESC)
// and a row matrix, in the node's heap when small and in a sub-node when
// large. Rows are read when asked for, one data block at a time.

#include "source/outlook/Heap.h"

#include <QString>

#include <optional>

namespace outlook::pst {

class TableContext {
public:
    // The table of node `nid`; throws when its structures are damaged.
    TableContext(Ndb& ndb, std::uint32_t nid);

    std::size_t rowCount() const { return rows_; }
    // The 32-bit cell of row `row` (from 0) in the column of property `id`
    // (stored as PT_LONG); nullopt when the table has no such column or the
    // row leaves the cell empty.
    std::optional<std::uint32_t> cell32(std::size_t row, std::uint16_t id);
    // The text in row `row` of the column of property `id` (stored as
    // PT_UNICODE or PT_STRING8, 8-bit text in `codepage`); nullopt when the
    // table has no such column or the row leaves the cell empty.
    std::optional<QString> cellText(std::size_t row, std::uint16_t id, int codepage);
    // Whether the table has a column of property `id`, of any type.
    bool hasColumn(std::uint16_t id) const;

private:
    struct Column {
        std::uint32_t tag = 0;  // property id << 16 | type
        std::uint16_t offset = 0;
        std::uint8_t size = 0;
        std::uint8_t bit = 0;  // iBit in the cell existence bitmap
    };
    const std::uint8_t* row(std::size_t index);

    Ndb& ndb_;
    std::uint64_t bidSub_ = 0;
    std::optional<Heap> heap_;
    std::vector<Column> columns_;
    std::size_t rowSize_ = 0;  // rgib[TCI_bm]
    std::size_t bitmapOffset_ = 0;  // rgib[TCI_1b]
    std::size_t rows_ = 0;
    // Rows in the heap (small tables)...
    Span heapRows_;
    // ...or in the data blocks of a sub-node, each holding rowsPerBlock_ rows.
    std::vector<std::uint64_t> rowBlocks_;
    std::size_t rowsPerBlock_ = 0;
    std::size_t loadedBlock_ = ~std::size_t(0);
    Bytes block_;
};

}  // namespace outlook::pst
