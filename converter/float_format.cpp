#include "converter/float_format.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace featsheet {

namespace {

constexpr std::uint64_t kPow10[kMaxFixedPrecision + 1] = {1,      10,      100,      1000,
                                                          10'000, 100'000, 1'000'000};

// Largest left shift that keeps mantissa * 10^precision * 2^shift below 2^64: the
// product of a 24-bit mantissa and 10^6 stays below 2^44.
constexpr int kMaxShift = 19;

// Widest field that FormatFixed pads to.
constexpr int kMaxWidth = 16;

std::size_t FormatWithSnprintf(float value, int width, int precision, char* out) {
    char text[kMaxFixedChars + 1];
    const int n =
        std::snprintf(text, sizeof text, "%*.*f", width, precision, static_cast<double>(value));
    // Within the documented widths the text always fits; never copy more than it holds.
    const std::size_t length = n < 0 ? 0 : std::min(static_cast<std::size_t>(n), kMaxFixedChars);
    std::memcpy(out, text, length);
    return length;
}

// Rounds m * 2^exponent * 10^P to the nearest integer, ties to even, as printf does
// with the exact binary value. False when the result may not fit in 64 bits.
template <int P>
bool ScaledRound(std::uint64_t m, int exponent, std::uint64_t* q) {
    const std::uint64_t n = m * kPow10[P];
    if (exponent >= 0) {
        if (exponent > kMaxShift) return false;
        *q = n << exponent;
        return true;
    }
    const int shift = -exponent;
    if (shift >= 64) {  // n < 2^44 is far below half a unit
        *q = 0;
        return true;
    }
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    const std::uint64_t rest = n & ((half << 1) - 1);
    std::uint64_t r = n >> shift;
    if (rest > half || (rest == half && (r & 1) != 0)) ++r;
    *q = r;
    return true;
}

// Two-digit groups "00" to "99".
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the decimal digits of v (at least one) leftwards from p; returns the new start.
char* WriteDigits(std::uint64_t v, char* p) {
    while (v >= 100) {
        const std::uint64_t pair = (v % 100) * 2;
        v /= 100;
        *--p = kDigitPairs[pair + 1];
        *--p = kDigitPairs[pair];
    }
    if (v >= 10) {
        *--p = kDigitPairs[v * 2 + 1];
        *--p = kDigitPairs[v * 2];
    } else {
        *--p = static_cast<char>('0' + v);
    }
    return p;
}

// Number of decimal digits of v, at least one.
int DigitCount(std::uint64_t v) {
    int n = 1;
    while (v >= 10000) {
        v /= 10000;
        n += 4;
    }
    return n + (v >= 10) + (v >= 100) + (v >= 1000);
}

template <int P>
std::size_t FormatFixedP(float value, int width, char* out) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const std::uint32_t biased = (bits >> 23) & 0xFF;
    if (biased == 0xFF || width > kMaxWidth) {  // inf, nan, or a width beyond the padding
        return FormatWithSnprintf(value, width, P, out);
    }
    std::uint64_t m = bits & 0x7FFFFF;
    int exponent = -149;  // subnormals
    if (biased != 0) {
        m |= 0x800000;
        exponent = static_cast<int>(biased) - 150;
    }
    std::uint64_t q = 0;
    if (!ScaledRound<P>(m, exponent, &q)) return FormatWithSnprintf(value, width, P, out);

    // Sign (printf keeps the sign of negative values and of -0), integer part (at least
    // "0"), point and fraction, right-aligned in `width`; written straight into `out`.
    std::uint64_t integer = q / kPow10[P];
    std::uint64_t fraction = q % kPow10[P];
    const int length = negative + DigitCount(integer) + (P > 0 ? P + 1 : 0);
    const int pad = width > length ? width - length : 0;
    std::memset(out, ' ', kMaxWidth);  // fixed size: a single store; digits overwrite it
    char* p = out + pad + length;
    if constexpr (P > 0) {
        for (int i = 0; i < P; ++i) {
            *--p = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        *--p = '.';
    }
    p = WriteDigits(integer, p);
    if (negative) *--p = '-';
    return static_cast<std::size_t>(pad) + static_cast<std::size_t>(length);
}

}  // namespace

std::size_t FormatFixed(float value, int width, int precision, char* out) {
    switch (precision) {
        case 0:
            return FormatFixedP<0>(value, width, out);
        case 1:
            return FormatFixedP<1>(value, width, out);
        case 2:
            return FormatFixedP<2>(value, width, out);
        case 3:
            return FormatFixedP<3>(value, width, out);
        case 4:
            return FormatFixedP<4>(value, width, out);
        case 5:
            return FormatFixedP<5>(value, width, out);
        default:
            return FormatFixedP<6>(value, width, out);
    }
}

}  // namespace featsheet
