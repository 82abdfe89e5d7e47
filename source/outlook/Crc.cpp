#include "source/outlook/Crc.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PELLARO_CRC_FOLDING 1
#endif

namespace outlook::pst {

namespace {

// The plain register after `size` more bytes. zlib inverts the register
// before and after; inverting around its call leaves the plain one.
std::uint32_t continueCrc(std::uint32_t reg, const std::uint8_t* data, std::size_t size)
{
    uLong value = ~reg & 0xFFFFFFFFu;
    while (size > 0) {
        const uInt chunk = size > (1u << 30) ? (1u << 30) : uInt(size);
        value = crc32(value, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return std::uint32_t(~value);
}

#ifdef PELLARO_CRC_FOLDING
// Folding with carry-less multiplication, 64 bytes a step: the data's
// remainder modulo the polynomial is carried in four 128-bit lanes, each
// multiplied by a power of x modulo the polynomial to move it on and added
// (xor) to the data there. The two pairs of constants (bit-reflected, as
// the register is) move a lane 512 bits on (four lanes) and 128 bits on
// (one). The last lane and the bytes after it go through zlib: folding
// changes the bytes, never their remainder.
__attribute__((target("pclmul,sse2"))) inline __m128i foldLane(__m128i lane, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11)), next);
}

__attribute__((target("pclmul,sse2"))) std::uint32_t foldingCrc(const std::uint8_t* p, std::size_t size)
{
    const __m128i k512 = _mm_set_epi64x(0x1C6E41596, 0x154442BD4);
    const __m128i k128 = _mm_set_epi64x(0x0CCAA009E, 0x1751997D0);
    auto load = [](const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    // The register starts at 0: nothing to add to the first bytes.
    __m128i x0 = load(p), x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    size -= 64;
    for (; size >= 64; p += 64, size -= 64) {
        x0 = foldLane(x0, k512, load(p));
        x1 = foldLane(x1, k512, load(p + 16));
        x2 = foldLane(x2, k512, load(p + 32));
        x3 = foldLane(x3, k512, load(p + 48));
    }
    x0 = foldLane(x0, k128, x1);
    x0 = foldLane(x0, k128, x2);
    x0 = foldLane(x0, k128, x3);
    for (; size >= 16; p += 16, size -= 16)
        x0 = foldLane(x0, k128, load(p));
    std::uint8_t lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), x0);
    return continueCrc(continueCrc(0, lane, sizeof lane), p, size);
}

bool canFold()
{
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return yes;
}
#endif

}  // namespace

std::uint32_t crc(const std::uint8_t* data, std::size_t size)
{
#ifdef PELLARO_CRC_FOLDING
    if (size >= 64 && canFold())
        return foldingCrc(data, size);
#endif
    return continueCrc(0, data, size);
}

std::uint16_t signature(std::uint64_t ib, std::uint64_t bid)
{
    ib ^= bid;
    return std::uint16_t(std::uint16_t(ib >> 16) ^ std::uint16_t(ib));
}

}  // namespace outlook::pst
