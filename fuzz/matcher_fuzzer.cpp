// The matchers against each other: FindMatches and the fast matcher with every kernel this
// CPU runs, against the plain FindNeighbours / FindMatchesReference.
// Any difference in a neighbour, a distance or a match row is a finding.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "fuzz/keypoint_bytes.h"
#include "keypoints/fast_matcher.h"
#include "relative/utils.h"

namespace {

using keypoints::FindAllNeighbours;
using keypoints::FindNeighbours;
using keypoints::MatchKernel;
using keypoints::MatchKernelAvailable;
using keypoints::MatchKernelName;
using keypoints::NeighbourPair;
using relative::FindMatchesFast;
using relative::FindMatchesReference;

bool SamePair(const NeighbourPair& a, const NeighbourPair& b) {
    return a.nearest == b.nearest && a.dist1 == b.dist1 && a.second == b.second &&
           a.dist2 == b.dist2;
}

void CheckDistances(const KeypointPair& p) {
    for (const KeypointSt& a : p.keys1) {
        FUZZ_CHECK(Dist(&a, &a, p.dims) == 0, "a descriptor is at distance 0 from itself");
        for (const KeypointSt& b : p.keys2) {
            const int d = Dist(&a, &b, p.dims);
            FUZZ_CHECK(d >= 0, "distances are not negative");
            FUZZ_CHECK(d == Dist(&b, &a, p.dims), "distance is symmetric");
        }
    }
}

void CheckFastMatcher(const KeypointPair& p, const std::vector<NeighbourPair>& expected,
                      const MatchArray& reference) {
    for (MatchKernel kernel : {MatchKernel::automatic, MatchKernel::vnni, MatchKernel::avx2,
                               MatchKernel::portable, MatchKernel::wide}) {
        if (!MatchKernelAvailable(kernel)) continue;
        const std::vector<NeighbourPair> got = FindAllNeighbours(p.keys1, p.keys2, p.dims, kernel);
        FUZZ_CHECK(got.size() == expected.size(), "one neighbour pair per keypoint");
        for (std::size_t i = 0; i < got.size(); ++i) {
            FUZZ_CHECK(SamePair(got[i], expected[i]), MatchKernelName(kernel));
        }
        int n = -1;
        const MatchArray rows = FindMatchesFast(p.keys1, p.keys2, p.dims, &n, kernel);
        FUZZ_CHECK(rows == reference, MatchKernelName(kernel));
        FUZZ_CHECK(n == static_cast<int>(rows.size()), "numMatches counts the rows");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const KeypointPair p = DecodeKeypointPair(data, size);
    CheckDistances(p);

    std::vector<NeighbourPair> expected;
    for (const KeypointSt& key : p.keys1) expected.push_back(FindNeighbours(key, p.keys2, p.dims));

    int num_reference = -1;
    const MatchArray reference = FindMatchesReference(p.keys1, p.keys2, p.dims, &num_reference);
    FUZZ_CHECK(num_reference == static_cast<int>(reference.size()), "numMatches counts the rows");
    int num = -1;
    FUZZ_CHECK(FindMatches(p.keys1, p.keys2, p.dims, &num) == reference, "FindMatches");
    FUZZ_CHECK(num == num_reference, "FindMatches count");

    CheckFastMatcher(p, expected, reference);
    return 0;
}
