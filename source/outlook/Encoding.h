#pragma once
// The encodings of the data blocks of a file: none, "compressible" (a byte
// substitution) and "cyclic" (a substitution keyed by the block id). Only
// external data blocks are encoded; B-tree pages and the blocks that list
// other blocks never are.

#include "source/outlook/Format.h"

namespace outlook::pst {

enum class CryptMethod : std::uint8_t { None = 0, Compressible = 1, Cyclic = 2 };

// Undoes the encoding of the data block `bid`: `size` bytes from `from` to
// `to` (which may be the same place).
void decode(CryptMethod method, std::uint64_t bid, const std::uint8_t* from, std::uint8_t* to, std::size_t size,
            Layout layout);

}  // namespace outlook::pst
