#include "source/outlook/Crc.h"

#include <zlib.h>

namespace outlook::pst {

std::uint32_t crc(const std::uint8_t* data, std::size_t size)
{
    // zlib inverts the register before and after; starting it at ~0 and
    // inverting its result leaves the plain register the file uses. Chained
    // calls continue the same register.
    uLong value = 0xFFFFFFFFu;
    while (size > 0) {
        const uInt chunk = size > (1u << 30) ? (1u << 30) : uInt(size);
        value = crc32(value, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return std::uint32_t(value ^ 0xFFFFFFFFu);
}

std::uint16_t signature(std::uint64_t ib, std::uint64_t bid)
{
    ib ^= bid;
    return std::uint16_t(std::uint16_t(ib >> 16) ^ std::uint16_t(ib));
}

}  // namespace outlook::pst
