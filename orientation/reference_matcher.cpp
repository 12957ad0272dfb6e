// The plain reference matcher: every keypoint of the first list against every keypoint of
// the second through Dist, and the steps it shares with the fast matcher (the distance,
// the neighbour search, the match array).
#include <climits>
#include <cstdint>

#include "kernels/integer_root.h"
#include "utils.h"

int DescriptorDistance(const int* a, const int* b, int dims) {
    // Every distance of INT_MAX or more saturates, so the sum of squares only needs to be
    // exact below INT_MAX^2 (< 2^62); one square of a difference of 32-bit values fits in
    // 64 unsigned bits, and the sum stops growing once it reaches that bound.
    constexpr std::uint64_t kSaturation = static_cast<std::uint64_t>(INT_MAX) * INT_MAX;
    std::uint64_t distsq = 0;
    for (int i = 0; i < dims; ++i) {
        const long long diff = static_cast<long long>(a[i]) - b[i];
        const auto mag = static_cast<std::uint64_t>(diff < 0 ? -diff : diff);
        const std::uint64_t square = mag * mag;
        if (square >= kSaturation - distsq) return INT_MAX;
        distsq += square;
    }
    // For sums below 2^31 this is exactly (int) sqrt((double) sum).
    return static_cast<int>(fastmatch::IntegerRoot(distsq));
}

int Dist(Keypoint k1, Keypoint k2, int dims) {
    return DescriptorDistance(k1->descrip.data(), k2->descrip.data(), dims);
}

NeighbourPair FindNeighbours(const KeypointSt& key, const KeypointList& klist, int dims) {
    NeighbourPair best;
    for (std::size_t j = 0; j < klist.size(); ++j) {
        const int d = Dist(&key, &klist[j], dims);
        // Strict comparisons: an equally near later candidate does not displace the
        // nearest; its distance becomes the second-nearest distance.
        if (d < best.dist1) {
            best.second = best.nearest;
            best.dist2 = best.dist1;
            best.nearest = static_cast<int>(j);
            best.dist1 = d;
        } else if (d < best.dist2) {
            best.second = static_cast<int>(j);
            best.dist2 = d;
        }
    }
    return best;
}

Keypoint CheckForMatch(Keypoint key, const KeypointList& klist, int dims) {
    const NeighbourPair best = FindNeighbours(*key, klist, dims);
    if (best.nearest < 0 || !PassesRatioTest(best.dist1, best.dist2)) return nullptr;
    return &klist[static_cast<std::size_t>(best.nearest)];
}

MatchArray FindMatchesReference(const KeypointList& keys1, const KeypointList& keys2, int dims,
                                int* numMatches) {
    std::vector<MatchSt> matches;
    for (const KeypointSt& k1 : keys1) {
        if (Keypoint k2 = CheckForMatch(&k1, keys2, dims)) {
            matches.push_back(MatchSt{k1.row, k1.col, k2->row, k2->col});
        }
    }
    *numMatches = static_cast<int>(matches.size());
    return listToArray(matches, *numMatches);
}

MatchArray listToArray(const std::vector<MatchSt>& m, int numMatches) {
    MatchArray rows;
    rows.reserve(static_cast<std::size_t>(numMatches));
    for (int k = 0; k < numMatches; ++k) {
        const MatchSt& match = m[static_cast<std::size_t>(k)];
        rows.push_back(MatchRow{match.row1, match.col1, match.row2, match.col2});
    }
    return rows;
}
