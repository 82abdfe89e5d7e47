#pragma once
// The check values of the data file: the 32-bit CRC over headers, pages and
// blocks, and the 16-bit signature of pages and blocks.

#include <cstddef>
#include <cstdint>

namespace outlook::pst {

// The fuzz target is built to look past check values, so that mutated
// inputs reach the structures behind them; every other build checks them.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kCheckCrc = false;
#else
constexpr bool kCheckCrc = true;
#endif

// The file's CRC of `size` bytes: the common reflected CRC-32 (polynomial
// 0xEDB88320) started at 0 and not inverted at the end.
std::uint32_t crc(const std::uint8_t* data, std::size_t size);

// The signature of a block or page at file offset `ib` with id `bid`.
std::uint16_t signature(std::uint64_t ib, std::uint64_t bid);

}  // namespace outlook::pst
