// The project's random numbers: SplitMix64, so that a run depends on its seed alone and not
// on the C or C++ library, and the same seed gives the same samples everywhere. The robust
// loops draw their samples from it; the test scenes draw from it too.
#pragma once

#include <array>
#include <cstdint>

namespace common {

class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1), from the top 53 bits.
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1p-53; }

    // Uniform in 0 .. bound - 1 (bound > 0), by the multiply-shift method with rejection of
    // the few values that would make it uneven.
    std::uint32_t Below(std::uint32_t bound) {
        const std::uint32_t threshold = static_cast<std::uint32_t>(-bound) % bound;
        while (true) {
            const std::uint64_t product = (Next() >> 32) * bound;
            if (static_cast<std::uint32_t>(product) >= threshold) {
                return static_cast<std::uint32_t>(product >> 32);
            }
        }
    }

  private:
    std::uint64_t state_;
};

// K distinct values of 0 .. n - 1 (K <= n) by Floyd's method: K draws, no rejection loop.
// The values come in no particular order.
template <std::size_t K>
std::array<std::uint32_t, K> DrawDistinct(SplitMix64& random, std::uint32_t n) {
    std::array<std::uint32_t, K> sample{};
    for (std::size_t k = 0; k < K; ++k) {
        const auto j = static_cast<std::uint32_t>(n - K + k);
        const std::uint32_t t = random.Below(j + 1);
        bool taken = false;
        for (std::size_t i = 0; i < k; ++i) taken = taken || sample[i] == t;
        sample[k] = taken ? j : t;
    }
    return sample;
}

}  // namespace common
