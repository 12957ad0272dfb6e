// Seeded keypoint lists for the differential tests of the fast matcher.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "utils.h"

namespace fastmatch_test {

// Values drawn uniformly from [lo, hi].
inline KeypointList Uniform(int n, int dims, int lo, int hi, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(lo, hi);
    KeypointList keys(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        keys[i].row = static_cast<float>(i);
        keys[i].col = static_cast<float>(i) * 0.5f + 1.0f;
        keys[i].descrip.resize(static_cast<std::size_t>(dims));
        for (int& v : keys[i].descrip) v = value(rng);
    }
    return keys;
}

// Sparse non-negative histograms normalised, clipped at 0.2, renormalised and scaled to
// at most 255, the way SIFT descriptors are made.
inline KeypointList SiftLike(int n, int dims, unsigned seed) {
    std::mt19937 rng(seed);
    std::exponential_distribution<double> mass(1.0);
    std::bernoulli_distribution empty(0.45);
    KeypointList keys(static_cast<std::size_t>(n));
    std::vector<double> h(static_cast<std::size_t>(dims));
    for (int i = 0; i < n; ++i) {
        for (double& x : h) x = empty(rng) ? 0.0 : mass(rng);
        for (int pass = 0; pass < 2; ++pass) {
            double norm = 0.0;
            for (double x : h) norm += x * x;
            norm = std::sqrt(norm) + 1e-12;
            for (double& x : h) x = pass == 0 ? std::min(x / norm, 0.2) : x / norm;
        }
        keys[i].row = static_cast<float>(i) + 0.25f;
        keys[i].col = static_cast<float>(i) * 2.0f;
        keys[i].descrip.resize(static_cast<std::size_t>(dims));
        for (int k = 0; k < dims; ++k) {
            keys[i].descrip[k] = std::min(255, static_cast<int>(512.0 * h[k]));
        }
    }
    return keys;
}

// A second list that holds perturbed copies of some keys of `first`, exact duplicates and
// near-duplicates next to each other (so that distances tie), and unrelated keys.
inline KeypointList Related(const KeypointList& first, int n, int lo, int hi, unsigned seed) {
    std::mt19937 rng(seed);
    KeypointList keys =
        Uniform(n, first.empty() ? 0 : static_cast<int>(first[0].descrip.size()), lo, hi, seed + 1);
    if (first.empty()) return keys;
    std::uniform_int_distribution<int> pick(0, static_cast<int>(first.size()) - 1);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (int j = 0; j + 1 < n; j += 3) {
        const KeypointSt& src = first[pick(rng)];
        keys[j].descrip = src.descrip;
        for (int& v : keys[j].descrip) v = std::clamp(v + noise(rng), lo, hi);
        const int kind = (j / 3) % 3;  // 0: unique copy, 1: exact duplicate, 2: off by one
        if (kind == 0) continue;
        keys[j + 1].descrip = keys[j].descrip;
        if (kind == 2 && !keys[j + 1].descrip.empty()) {
            int& v = keys[j + 1].descrip[0];
            v = v < hi ? v + 1 : v - 1;
        }
    }
    return keys;
}

}  // namespace fastmatch_test
