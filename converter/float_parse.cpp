#include "float_parse.h"

#include <bit>
#include <cstdint>
#include <cstdlib>

namespace {

// Integers up to 2^53 are exact in a double.
constexpr std::uint64_t kMaxExactInteger = std::uint64_t{1} << 53;

// Powers of ten that are exact in a double (10^22 is the last one).
constexpr int kMaxFractionDigits = 22;
constexpr double kPow10[kMaxFractionDigits + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Accumulates the digits at *p into *w; false once *w would exceed 2^53.
bool TakeDigits(const char*& p, const char* end, std::uint64_t* w) {
    while (p < end && IsDigit(*p)) {
        *w = *w * 10 + static_cast<std::uint64_t>(*p - '0');
        if (*w > kMaxExactInteger) return false;
        ++p;
    }
    return true;
}

// True when a double in the normal float range lies exactly halfway between two floats:
// the 29 bits below float precision are 1000...0.
bool IsFloatHalfway(double d) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
    constexpr std::uint64_t kLowMask = (std::uint64_t{1} << 29) - 1;
    return (bits & kLowMask) == (std::uint64_t{1} << 28);
}

}  // namespace

// Why the fast path equals strtof: the digits form an integer W <= 2^53 and the token is
// W / 10^k with k <= 22, so W and 10^k are exact doubles and one IEEE division gives d,
// the double nearest to the exact value x. Every float and every midpoint between two
// adjacent floats is a double, and rounding is monotonic, so x and d lie on the same
// side of every midpoint unless d is itself a midpoint (checked, left to strtof). Hence
// rounding d to float gives the float nearest to x, which is what strtof returns.
// Nonzero values lie in [1e-22, 2^53], inside the normal float range, so no subnormal
// or overflow case arises; the sign is applied afterwards (rounding is symmetric).
std::size_t ParseDecimalFast(const char* text, const char* end, float* value) {
    const char* p = text;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t w = 0;
    const char* int_start = p;
    if (!TakeDigits(p, end, &w)) return 0;
    const bool has_int_digits = p != int_start;
    int fraction_digits = 0;
    if (p < end && *p == '.') {
        ++p;
        const char* frac_start = p;
        if (!TakeDigits(p, end, &w)) return 0;
        if (p - frac_start > kMaxFractionDigits) return 0;
        fraction_digits = static_cast<int>(p - frac_start);
    }
    if (!has_int_digits && fraction_digits == 0) return 0;
    if (p == end) return 0;  // the token may go on beyond the data at hand
    if (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X') return 0;

    double d = static_cast<double>(w);
    if (fraction_digits > 0) d /= kPow10[fraction_digits];
    if (IsFloatHalfway(d)) return 0;
    const float f = static_cast<float>(d);
    *value = negative ? -f : f;
    return static_cast<std::size_t>(p - text);
}

std::size_t ParseFloatStrtof(const char* text, float* value) {
    char* stop = nullptr;
    const float v = std::strtof(text, &stop);
    if (stop == text) return 0;
    *value = v;
    return static_cast<std::size_t>(stop - text);
}
