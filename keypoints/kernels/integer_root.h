// The exact integer square root of the matcher: floor(sqrt(s)) for 0 <= s < 2^62, the
// integer part of a descriptor distance from its sum of squares. Internal linkage, so that
// each kernel file compiles its own copy for its own target.
#pragma once

#include <cstdint>

namespace keypoints::kernels {
namespace {

inline std::uint64_t IntegerRoot(std::uint64_t s) {
    auto r = static_cast<std::uint64_t>(__builtin_sqrt(static_cast<double>(s)));
    // The double root can be off by one either way for large s; step to the exact one.
    // For s < 2^62 every square below stays within 64 bits.
    while (r * r > s) --r;
    while ((r + 1) * (r + 1) <= s) ++r;
    return r;
}

}  // namespace
}  // namespace keypoints::kernels
