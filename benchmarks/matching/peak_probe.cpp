// Compiled with AVX-512 VNNI flags; called only when the CPU has them.
#include "benchmarks/matching/peak_probe.h"

#include <immintrin.h>

namespace {

// acc += u8(b) . s8(x) in place (one instruction, independent chains).
inline void Dp(__m512i& acc, __m512i b, __m512i x) {
    asm volatile("vpdpbusd %2, %1, %0" : "+v"(acc) : "v"(b), "v"(x));
}

}  // namespace

std::int64_t VpdpbusdPeakLoop(std::int64_t rounds) {
    const __m512i b = _mm512_set1_epi32(0x01020304);
    const __m512i x = _mm512_set1_epi32(0x05060708);
    __m512i c[16];
    for (int i = 0; i < 16; ++i) c[i] = _mm512_set1_epi32(i);
    __m512i c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3], c4 = c[4], c5 = c[5], c6 = c[6], c7 = c[7],
            c8 = c[8], c9 = c[9], c10 = c[10], c11 = c[11], c12 = c[12], c13 = c[13], c14 = c[14],
            c15 = c[15];
    for (std::int64_t r = 0; r < rounds; ++r) {
        Dp(c0, b, x), Dp(c1, b, x), Dp(c2, b, x), Dp(c3, b, x);
        Dp(c4, b, x), Dp(c5, b, x), Dp(c6, b, x), Dp(c7, b, x);
        Dp(c8, b, x), Dp(c9, b, x), Dp(c10, b, x), Dp(c11, b, x);
        Dp(c12, b, x), Dp(c13, b, x), Dp(c14, b, x), Dp(c15, b, x);
    }
    __m512i sum = _mm512_add_epi32(_mm512_add_epi32(c0, c1), _mm512_add_epi32(c2, c3));
    sum =
        _mm512_add_epi32(sum, _mm512_add_epi32(_mm512_add_epi32(c4, c5), _mm512_add_epi32(c6, c7)));
    sum = _mm512_add_epi32(sum,
                           _mm512_add_epi32(_mm512_add_epi32(c8, c9), _mm512_add_epi32(c10, c11)));
    sum = _mm512_add_epi32(
        sum, _mm512_add_epi32(_mm512_add_epi32(c12, c13), _mm512_add_epi32(c14, c15)));
    alignas(64) std::int32_t lanes[16];
    _mm512_store_si512(lanes, sum);
    std::int64_t total = 0;
    for (std::int32_t v : lanes) total += v;
    return total;
}
