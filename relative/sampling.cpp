// Random draws of distinct tie-point indices.
#include <cstdlib>

#include "relative/utils.h"

std::vector<int> getRandomSamples(int max, int len) {
    std::vector<int> samples;
    if (max <= 0 || len < 0 || len > max) return samples;
    samples.reserve(static_cast<std::size_t>(len));
    while (static_cast<int>(samples.size()) < len) {
        const int candidate = std::rand() % max;
        bool seen = false;
        for (const int s : samples) seen = seen || s == candidate;
        // A repeated index is drawn again with a fresh random number.
        if (!seen) samples.push_back(candidate);
    }
    return samples;
}
