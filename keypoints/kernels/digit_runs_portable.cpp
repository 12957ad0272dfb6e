// Portable scan of descriptor values for the keypoint reader: digit runs found with
// SSE2 byte compares (part of the x86-64 baseline) and converted eight bytes at a time.
#include <emmintrin.h>

#include <cstring>

#include "keypoints/kernels/digit_runs.h"

namespace keypoints::kernels {
namespace {

// The leading decimal digits of the 8 bytes at p, without branches: how many there are
// (8 when all are) and, when there are fewer than 8, their value.
struct Digits8 {
    int count;
    std::uint32_t value;
};

Digits8 LeadingDigits(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);  // the first character is the lowest byte
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    // A byte is a digit when its high nibble is 3 and its low nibble is below 10; either
    // test leaves bits only in the high nibbles, so a non-digit byte becomes >= 0x10.
    const std::uint64_t low = w & (0x0F * kOnes);
    const std::uint64_t bad =
        ((w & (0xF0 * kOnes)) ^ (0x30 * kOnes)) | ((low + 0x06 * kOnes) & (0xF0 * kOnes));
    const int count = bad == 0 ? 8 : __builtin_ctzll(bad) / 8;
    if (count == 0 || count == 8) return Digits8{count, 0};
    // Move the digits to the top bytes (leading zeros below) and combine them pairwise:
    // bytes hold digits, then 16-bit lanes two-digit numbers, then four-digit, then eight.
    std::uint64_t v = low << (8 * (8 - count));
    v = (v * 10 + (v >> 8)) & (0x00FF00FF00FF00FFULL);
    v = (v * 100 + (v >> 16)) & (0x0000FFFF0000FFFFULL);
    v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
    return Digits8{count, static_cast<std::uint32_t>(v)};
}

// Value of the run of `len` (1..4) digits at p, combined as in LeadingDigits.
std::uint32_t RunValue4(const char* p, int len) {
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    std::uint32_t v = (w & 0x0F0F0F0FU) << (8 * (4 - len));
    v = (v * 10 + (v >> 8)) & 0x00FF00FFU;
    return (v * 100 + (v >> 16)) & 0xFFFFU;
}

// Value of the run of `len` (1..7) digits at p.
std::uint32_t RunValue8(const char* p, int len) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    std::uint64_t v = (w & 0x0F0F0F0F0F0F0F0FULL) << (8 * (8 - len));
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
    return static_cast<std::uint32_t>((v * 10000 + (v >> 32)) & 0xFFFFFFFFULL);
}

// Bit i set when byte p[i] of the 64 bytes at p is a decimal digit / a space character.
void ClassifyWindow(const char* p, std::uint64_t* digits, std::uint64_t* spaces) {
    std::uint64_t d = 0;
    std::uint64_t w = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i b =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + std::ptrdiff_t{16} * i));
        // x <= limit, unsigned, as min(x, limit) == x.
        const __m128i dig = _mm_sub_epi8(b, _mm_set1_epi8('0'));
        const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(dig, _mm_set1_epi8(9)), dig);
        const __m128i ctl = _mm_sub_epi8(b, _mm_set1_epi8('\t'));  // \t \n \v \f \r
        const __m128i is_space =
            _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(ctl, _mm_set1_epi8(4)), ctl),
                         _mm_cmpeq_epi8(b, _mm_set1_epi8(' ')));
        d |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(is_digit)))
             << (16 * i);
        w |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(is_space)))
             << (16 * i);
    }
    *digits = d;
    *spaces = w;
}

}  // namespace

std::size_t ScanDigitWindow(const char* p, int* out, int count, int* done, RunConverter convert) {
    std::uint64_t digits = 0;
    std::uint64_t spaces = 0;
    ClassifyWindow(p, &digits, &spaces);
    const std::uint64_t other = ~(digits | spaces);
    std::uint64_t starts = digits & ~(digits << 1);  // a run may start at p[0] itself
    std::size_t stop = 64;
    if (other != 0) {
        stop = static_cast<std::size_t>(__builtin_ctzll(other));
        starts &= (std::uint64_t{1} << stop) - 1;  // runs before the first odd byte only
    } else if (digits >> 63 != 0) {
        // The last run may go on past the window: the next window starts with it.
        stop = static_cast<std::size_t>(63 - __builtin_clzll(starts));
        starts &= ~(std::uint64_t{1} << stop);
    }
    int d = *done;
    if (convert != nullptr) {
        // The whole window at once when its runs are all short and all wanted.
        const std::uint64_t used =
            digits & (stop == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << stop) - 1);
        const std::uint64_t ends = used & ~(used >> 1);
        const bool short_runs = (used & (used >> 1) & (used >> 2) & (used >> 3)) == 0;
        if (short_runs && __builtin_popcountll(ends) <= count - d) {
            *done = d + convert(p, used, ends, out + d);
            return stop;  // only spaces between the last run and `stop`
        }
    }
    std::size_t consumed = 0;
    while (starts != 0 && d < count) {
        const int st = __builtin_ctzll(starts);
        const int len = __builtin_ctzll(~(digits >> st));  // the top bits shift in as zeros
        if (len >= 8) {  // a long number: ReadInt applies the range rule
            *done = d;
            return static_cast<std::size_t>(st);
        }
        out[d++] = static_cast<int>(len <= 4 ? RunValue4(p + st, len) : RunValue8(p + st, len));
        consumed = static_cast<std::size_t>(st) + static_cast<std::size_t>(len);
        starts &= starts - 1;
    }
    *done = d;
    return d == count ? consumed : stop;
}

int LeadingDigitCount(const char* p) { return LeadingDigits(p).count; }

RunConverter VectorRunConverter() {
    __builtin_cpu_init();
    static const RunConverter chosen = __builtin_cpu_supports("avx512bw") &&
                                               __builtin_cpu_supports("avx512vbmi") &&
                                               __builtin_cpu_supports("avx512vbmi2")
                                           ? &ConvertShortRunsAvx512
                                           : nullptr;
    return chosen;
}

}  // namespace keypoints::kernels
