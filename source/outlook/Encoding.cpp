#include "source/outlook/Encoding.h"

#include "common/vector/VectorPaths.h"

#include <cstring>
#include <memory>

#if defined(__x86_64__)
#include <immintrin.h>
#define PELLARO_WIDE_RESTORE 1
#endif

namespace outlook::pst {

namespace {

// The substitution of the "compressible" encoding: writing maps byte b to
// kSubstitute[b]. The "cyclic" encoding runs a byte through it, through
// kShuffle (its own inverse) and back through the inverse of kSubstitute,
// each step offset by a key that advances with every byte.
constexpr std::uint8_t kSubstitute[256] = {
    65,  54,  19,  98,  168, 33,  110, 187, 244, 22,  204, 4,   127, 100, 232, 93,  30,  242, 203, 42,  116, 197,
    94,  53,  210, 149, 71,  158, 150, 45,  154, 136, 76,  125, 132, 63,  219, 172, 49,  182, 72,  95,  246, 196,
    216, 57,  139, 231, 35,  59,  56,  142, 200, 193, 223, 37,  177, 32,  165, 70,  96,  78,  156, 251, 170, 211,
    86,  81,  69,  124, 85,  0,   7,   201, 43,  157, 133, 155, 9,   160, 143, 173, 179, 15,  99,  171, 137, 75,
    215, 167, 21,  90,  113, 102, 66,  191, 38,  74,  107, 152, 250, 234, 119, 83,  178, 112, 5,   44,  253, 89,
    58,  134, 126, 206, 6,   235, 130, 120, 87,  199, 141, 67,  175, 180, 28,  212, 91,  205, 226, 233, 39,  79,
    195, 8,   114, 128, 207, 176, 239, 245, 40,  109, 190, 48,  77,  52,  146, 213, 14,  60,  34,  50,  229, 228,
    249, 159, 194, 209, 10,  129, 18,  225, 238, 145, 131, 118, 227, 151, 230, 97,  138, 23,  121, 164, 183, 220,
    144, 122, 92,  140, 2,   166, 202, 105, 222, 80,  26,  17,  147, 185, 82,  135, 88,  252, 237, 29,  55,  73,
    27,  106, 224, 41,  51,  153, 189, 108, 217, 148, 243, 64,  84,  111, 240, 198, 115, 184, 214, 62,  101, 24,
    68,  31,  221, 103, 16,  241, 12,  25,  236, 174, 3,   161, 20,  123, 169, 11,  255, 248, 163, 192, 162, 1,
    247, 46,  188, 36,  104, 117, 13,  254, 186, 47,  181, 208, 218, 61,
};
constexpr std::uint8_t kShuffle[256] = {
    20,  83,  15,  86,  179, 200, 122, 156, 235, 101, 72,  23,  22,  21,  159, 2,   204, 84,  124, 131, 0,   13,
    12,  11,  162, 98,  168, 118, 219, 217, 237, 199, 197, 164, 220, 172, 133, 116, 214, 208, 167, 155, 174, 154,
    150, 113, 102, 195, 99,  153, 184, 221, 115, 146, 142, 132, 125, 165, 94,  209, 93,  147, 177, 87,  81,  80,
    128, 137, 82,  148, 79,  78,  10,  107, 188, 141, 127, 110, 71,  70,  65,  64,  68,  1,   17,  203, 3,   63,
    247, 244, 225, 169, 143, 60,  58,  249, 251, 240, 25,  48,  130, 9,   46,  201, 157, 160, 134, 73,  238, 111,
    77,  109, 196, 45,  129, 52,  37,  135, 27,  136, 170, 252, 6,   161, 18,  56,  253, 76,  66,  114, 100, 19,
    55,  36,  106, 117, 119, 67,  255, 230, 180, 75,  54,  92,  228, 216, 53,  61,  69,  185, 44,  236, 183, 49,
    43,  41,  7,   104, 163, 14,  105, 123, 24,  158, 33,  57,  190, 40,  26,  91,  120, 245, 35,  202, 42,  176,
    175, 62,  254, 4,   140, 231, 229, 152, 50,  149, 211, 246, 74,  232, 166, 234, 233, 243, 213, 47,  112, 32,
    242, 31,  5,   103, 173, 85,  16,  206, 205, 227, 39,  59,  218, 186, 215, 194, 38,  212, 145, 29,  210, 28,
    34,  51,  248, 250, 241, 90,  239, 207, 144, 182, 139, 181, 189, 192, 191, 8,   151, 30,  108, 226, 97,  224,
    198, 193, 89,  171, 187, 88,  222, 95,  223, 96,  121, 126, 178, 138,
};

struct Inverse {
    std::uint8_t t[256];
    constexpr Inverse()
        : t{}
    {
        for (int i = 0; i < 256; ++i)
            t[kSubstitute[i]] = std::uint8_t(i);
    }
};
constexpr Inverse kRestore;

// kRestore for two bytes at once: half the look-ups on the hot path of
// reading a "compressible" file (128 KiB, made on first use).
const std::uint16_t* restorePairs()
{
    static const std::unique_ptr<std::uint16_t[]> table = [] {
        auto t = std::make_unique<std::uint16_t[]>(65536);
        for (std::size_t i = 0; i < 65536; ++i)
            t[i] = std::uint16_t(kRestore.t[i & 0xFF] | kRestore.t[i >> 8] << 8);
        return t;
    }();
    return table.get();
}

#ifdef PELLARO_WIDE_RESTORE
// kRestore 64 bytes a step, where the processor has the byte permutes of
// AVX-512 VBMI: each permute looks a byte's low seven bits up in one half of
// the table, and the byte's top bit picks the half. Returns how many bytes
// it restored (a multiple of 64); the caller restores the rest.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::size_t restoreWide(const std::uint8_t* from,
                                                                               std::uint8_t* to, std::size_t size)
{
    const __m512i t0 = _mm512_loadu_si512(kRestore.t);
    const __m512i t1 = _mm512_loadu_si512(kRestore.t + 64);
    const __m512i t2 = _mm512_loadu_si512(kRestore.t + 128);
    const __m512i t3 = _mm512_loadu_si512(kRestore.t + 192);
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i x = _mm512_loadu_si512(from + i);
        const __m512i lower = _mm512_permutex2var_epi8(t0, x, t1);
        const __m512i upper = _mm512_permutex2var_epi8(t2, x, t3);
        _mm512_storeu_si512(to + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), lower, upper));
    }
    return i;
}

bool canRestoreWide()
{
    static const bool yes
        = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") && VectorPathOn("decode");
    return yes;
}
#endif

}  // namespace

void decode(CryptMethod method, std::uint64_t bid, const std::uint8_t* from, std::uint8_t* to, std::size_t size,
            Layout layout)
{
    switch (method) {
    case CryptMethod::None:
        if (from != to)
            std::memmove(to, from, size);
        return;
    case CryptMethod::Compressible: {
        std::size_t i = 0;
#ifdef PELLARO_WIDE_RESTORE
        if (canRestoreWide())
            i = restoreWide(from, to, size);
#endif
        const std::uint16_t* pairs = restorePairs();
        for (; i + 2 <= size; i += 2) {
            std::uint16_t v;
            std::memcpy(&v, from + i, 2);
            v = pairs[v];
            std::memcpy(to + i, &v, 2);
        }
        for (; i < size; ++i)
            to[i] = kRestore.t[from[i]];
        return;
    }
    case CryptMethod::Cyclic: {
        // The key is the block id folded to 32 bits, then to 16.
        const std::uint32_t key = layout == Layout::Unicode ? std::uint32_t(bid ^ (bid >> 32)) : std::uint32_t(bid);
        std::uint16_t w = std::uint16_t(key ^ (key >> 16));
        for (std::size_t i = 0; i < size; ++i, ++w) {
            const std::uint8_t lo = std::uint8_t(w), hi = std::uint8_t(w >> 8);
            std::uint8_t b = kSubstitute[std::uint8_t(from[i] + lo)];
            b = kShuffle[std::uint8_t(b + hi)];
            b = kRestore.t[std::uint8_t(b - hi)];
            to[i] = std::uint8_t(b - lo);
        }
        return;
    }
    }
}

}  // namespace outlook::pst
