#pragma once
// The encodings of the data blocks of a file: none, "compressible" (a byte
// substitution) and "cyclic" (a substitution keyed by the block id). Only
// external data blocks are encoded; B-tree pages and the blocks that list
// other blocks never are.

#include "source/outlook/Format.h"

namespace outlook::pst {

enum class CryptMethod : std::uint8_t { None = 0, Compressible = 1, Cyclic = 2 };

// Undoes the encoding of the data block `bid` in place.
void decode(CryptMethod method, std::uint64_t bid, std::uint8_t* data, std::size_t size, Layout layout);

}  // namespace outlook::pst
