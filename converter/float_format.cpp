#include "float_format.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint64_t kPow10[kMaxFixedPrecision + 1] = {1,      10,      100,      1000,
                                                          10'000, 100'000, 1'000'000};

// Largest left shift that keeps mantissa * 10^precision * 2^shift below 2^64: the
// product of a 24-bit mantissa and 10^6 stays below 2^44.
constexpr int kMaxShift = 19;

std::size_t FormatWithSnprintf(float value, int width, int precision, char* out) {
    char text[kMaxFixedChars + 1];
    const int n =
        std::snprintf(text, sizeof text, "%*.*f", width, precision, static_cast<double>(value));
    const std::size_t length = n < 0 ? 0 : static_cast<std::size_t>(n);
    std::memcpy(out, text, length);
    return length;
}

// Rounds m * 2^exponent * 10^precision to the nearest integer, ties to even, as printf
// does with the exact binary value. False when the result may not fit in 64 bits.
bool ScaledRound(std::uint64_t m, int exponent, int precision, std::uint64_t* q) {
    const std::uint64_t n = m * kPow10[precision];
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

}  // namespace

std::size_t FormatFixed(float value, int width, int precision, char* out) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const bool negative = (bits >> 31) != 0;
    const std::uint32_t biased = (bits >> 23) & 0xFF;
    if (biased == 0xFF) return FormatWithSnprintf(value, width, precision, out);  // inf, nan
    std::uint64_t m = bits & 0x7FFFFF;
    int exponent = -149;  // subnormals
    if (biased != 0) {
        m |= 0x800000;
        exponent = static_cast<int>(biased) - 150;
    }
    std::uint64_t q = 0;
    if (!ScaledRound(m, exponent, precision, &q)) {
        return FormatWithSnprintf(value, width, precision, out);
    }

    // Digits from the right: fraction, point, integer part (at least "0"), sign.
    char text[kMaxFixedChars];
    char* p = text + sizeof text;
    for (int i = 0; i < precision; ++i) {
        *--p = static_cast<char>('0' + q % 10);
        q /= 10;
    }
    if (precision > 0) *--p = '.';
    do {
        *--p = static_cast<char>('0' + q % 10);
        q /= 10;
    } while (q != 0);
    if (negative) *--p = '-';  // printf keeps the sign of negative values and of -0

    const std::size_t length = static_cast<std::size_t>(text + sizeof text - p);
    const std::size_t pad = static_cast<std::size_t>(width) > length ? width - length : 0;
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, p, length);
    return pad + length;
}
