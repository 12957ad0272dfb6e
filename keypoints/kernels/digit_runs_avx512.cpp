// Digit-run conversion for the keypoint reader (compiled with -mavx512f -mavx512bw
// -mavx512vbmi -mavx512vbmi2).
//
// Every byte position i gets d[i] + 10 d[i-1] + 100 d[i-2], each term present only when
// that byte belongs to the same run; at the last byte of a run this is the run's value.
// The values at run ends are then compressed to the front and widened to int.
#include <immintrin.h>

#include "keypoints/kernels/digit_runs.h"

namespace keypoints::kernels {
namespace {

// The maskz forms of the conversions below avoid the undefined pass-through operand of
// the plain intrinsics, which GCC 12 reports as an uninitialised use.

// Byte index vectors i - 1 and i - 2 (lane 0 and 1 wrap around; those lanes are masked).
__m512i IndexMinus(int k) {
    alignas(64) std::uint8_t idx[64];
    for (int i = 0; i < 64; ++i) idx[i] = static_cast<std::uint8_t>((i - k) & 63);
    return _mm512_load_si512(idx);
}

// The values at the run ends of one half (32 bytes as 16-bit lanes), stored as ints.
int StoreHalf(__m512i value16, std::uint32_t ends, int* out) {
    const __m512i packed = _mm512_maskz_compress_epi16(ends, value16);
    const int n = __builtin_popcount(ends);  // at most 16: a run and its separator take 2 bytes
    const __m512i wide =
        _mm512_maskz_cvtepu16_epi32(0xFFFF, _mm512_maskz_extracti64x4_epi64(0xF, packed, 0));
    _mm512_mask_storeu_epi32(out, static_cast<__mmask16>((1u << n) - 1), wide);
    return n;
}

}  // namespace

int ConvertShortRunsAvx512(const char* p, std::uint64_t digits, std::uint64_t ends, int* out) {
    static const __m512i kMinus1 = IndexMinus(1);
    static const __m512i kMinus2 = IndexMinus(2);
    const __m512i bytes = _mm512_loadu_si512(p);
    const __m512i d0 = _mm512_maskz_sub_epi8(digits, bytes, _mm512_set1_epi8('0'));
    const std::uint64_t same1 = digits & (digits << 1);  // byte i - 1 is in i's run
    const std::uint64_t same2 = same1 & (digits << 2);   // so is byte i - 2
    const __m512i d1 = _mm512_maskz_permutexvar_epi8(same1, kMinus1, d0);
    const __m512i d2 = _mm512_maskz_permutexvar_epi8(same2, kMinus2, d0);
    int n = 0;
    for (int half = 0; half < 2; ++half) {
        const auto take = [half](__m512i v) {
            return _mm512_maskz_cvtepu8_epi16(
                ~0u, half == 0 ? _mm512_maskz_extracti64x4_epi64(0xF, v, 0)
                               : _mm512_maskz_extracti64x4_epi64(0xF, v, 1));
        };
        const __m512i value = _mm512_add_epi16(
            take(d0), _mm512_add_epi16(_mm512_mullo_epi16(take(d1), _mm512_set1_epi16(10)),
                                       _mm512_mullo_epi16(take(d2), _mm512_set1_epi16(100))));
        n += StoreHalf(value, static_cast<std::uint32_t>(ends >> (32 * half)), out + n);
    }
    return n;
}

}  // namespace keypoints::kernels
