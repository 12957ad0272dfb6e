// The matches of two keypoint lists: the plain search's nearest neighbours with the ratio
// test, the same for every thread count, exact ratios, mutual matches.
#include "keypoints/matching.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "keypoints/fast_matcher.h"
#include "testing/keypoint_files.h"

namespace keypoints {
namespace {

using scene::RelatedKeys;
using scene::UniformKeys;

TEST(MatchKeypoints, TheAcceptedPlainNeighboursOnEveryThreadCount) {
    const KeypointList keys1 = UniformKeys(700, 128, 0, 255, 1);
    const KeypointList keys2 = RelatedKeys(keys1, 900, 0, 255, 2);
    std::vector<Match> expected;
    for (std::size_t i = 0; i < keys1.size(); ++i) {
        const NeighbourPair n = FindNeighbours(keys1[i], keys2, 128);
        if (n.nearest < 0 || !PassesRatio(n.dist1, n.dist2, DistanceRatio{})) continue;
        expected.push_back({static_cast<int>(i), n.nearest, n.second, n.dist1, n.dist2});
    }
    ASSERT_GT(expected.size(), 40u);
    for (const int threads : {1, 2, 3, 4, 16}) {
        MatchOptions options;
        options.threads = threads;
        EXPECT_EQ(MatchKeypoints(keys1, keys2, 128, options), expected) << threads << " threads";
    }
}

TEST(MatchKeypoints, MutualMatchesAreTheOnesBothWays) {
    KeypointList keys1 = UniformKeys(300, 128, 0, 255, 3);
    const KeypointList keys2 = RelatedKeys(keys1, 300, 0, 255, 4);
    MatchOptions options;
    const std::vector<Match> once = MatchKeypoints(keys1, keys2, 128, options);
    ASSERT_FALSE(once.empty());
    // A matched keypoint of list 1 twice: it can be the mutual match of only one of them.
    keys1.push_back(keys1[static_cast<std::size_t>(once.front().key1)]);
    const std::vector<Match> all = MatchKeypoints(keys1, keys2, 128, options);
    options.mutual = true;
    const std::vector<Match> mutual = MatchKeypoints(keys1, keys2, 128, options);
    EXPECT_LT(mutual.size(), all.size());
    const std::vector<NeighbourPair> back = FindAllNeighbours(keys2, keys1, 128);
    for (const Match& m : mutual) EXPECT_EQ(back[static_cast<std::size_t>(m.key2)].nearest, m.key1);
    for (const Match& m : all) {
        const bool is_mutual = back[static_cast<std::size_t>(m.key2)].nearest == m.key1;
        EXPECT_EQ(is_mutual, std::any_of(mutual.begin(), mutual.end(),
                                         [&](const Match& x) { return x.key1 == m.key1; }));
    }
}

// How a ratio is read is tested with orient's command line, which shows it again.
TEST(MatchKeypoints, RatiosApplyExactly) {
    // 0.75 decides a tie of 3 * d2 = 4 * d1 exactly: rejected (strict), one less accepted.
    KeypointList one(1);
    one[0].descrip = {0};
    KeypointList two(2);
    two[0].descrip = {30};
    two[1].descrip = {40};
    MatchOptions options;
    options.ratio = *ParseDistanceRatio("0.75");
    EXPECT_TRUE(MatchKeypoints(one, two, 1, options).empty());
    two[0].descrip = {29};
    const std::vector<Match> matches = MatchKeypoints(one, two, 1, options);
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_DOUBLE_EQ(matches[0].Ratio(), 29.0 / 40.0);
}

}  // namespace
}  // namespace keypoints
