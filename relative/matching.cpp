// The fixed matching functions over the keypoints library's plain search, and the plain
// reference matcher that fills the match array.
#include "relative/utils.h"

int Dist(Keypoint k1, Keypoint k2, int dims) {
    return keypoints::DescriptorDistance(k1->descrip.data(), k2->descrip.data(), dims);
}

Keypoint CheckForMatch(Keypoint key, const KeypointList& klist, int dims) {
    const keypoints::NeighbourPair best = keypoints::FindNeighbours(*key, klist, dims);
    if (best.nearest < 0 || !keypoints::PassesRatio(best.dist1, best.dist2, relative::kRatio)) {
        return nullptr;
    }
    return &klist[static_cast<std::size_t>(best.nearest)];
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

MatchArray FindMatches(const KeypointList& keys1, const KeypointList& keys2, int dims,
                       int* numMatches) {
    return relative::FindMatchesFast(keys1, keys2, dims, numMatches);
}

namespace relative {

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

MatchArray FindMatchesFast(const KeypointList& keys1, const KeypointList& keys2, int dims,
                           int* numMatches, keypoints::MatchKernel kernel) {
    const std::vector<keypoints::NeighbourPair> best =
        keypoints::FindAllNeighbours(keys1, keys2, dims, kernel);
    std::vector<MatchSt> matches;
    for (std::size_t i = 0; i < best.size(); ++i) {
        if (best[i].nearest < 0 || !keypoints::PassesRatio(best[i].dist1, best[i].dist2, kRatio)) {
            continue;
        }
        const KeypointSt& k2 = keys2[static_cast<std::size_t>(best[i].nearest)];
        matches.push_back(MatchSt{keys1[i].row, keys1[i].col, k2.row, k2.col});
    }
    *numMatches = static_cast<int>(matches.size());
    return listToArray(matches, *numMatches);
}

}  // namespace relative
