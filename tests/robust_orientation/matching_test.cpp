// Tie points from keypoint lists: the same matches as `relative` at the ratio 0.6, the same
// result for every thread count, exact ratios, mutual matches.
#include <gtest/gtest.h>

#include <algorithm>

#include "fast_matcher.h"
#include "keypoint_matching.h"
#include "random.h"

namespace {

// Two lists of 128-value descriptors in 0..255: list 2 holds noisy copies of the first
// `shared` keypoints of list 1 in reverse order, then distractors.
struct Lists {
    KeypointList keys1;
    KeypointList keys2;
};

Lists MakeLists(int n1, int shared, int n2_extra, std::uint64_t seed) {
    ro::SplitMix64 random(seed);
    auto descriptor = [&] {
        std::vector<int> d(128);
        for (int& v : d) v = static_cast<int>(random.Below(256));
        return d;
    };
    Lists lists;
    for (int i = 0; i < n1; ++i) {
        KeypointSt k;
        k.row = static_cast<float>(i);
        k.col = static_cast<float>(2 * i);
        k.descrip = descriptor();
        lists.keys1.push_back(k);
    }
    for (int i = shared - 1; i >= 0; --i) {
        KeypointSt k = lists.keys1[static_cast<std::size_t>(i)];
        for (int& v : k.descrip)
            v = std::clamp(v + static_cast<int>(random.Below(61)) - 30, 0, 255);
        k.row += 0.5f;
        lists.keys2.push_back(k);
    }
    for (int i = 0; i < n2_extra; ++i) {
        KeypointSt k;
        k.descrip = descriptor();
        lists.keys2.push_back(k);
    }
    return lists;
}

std::vector<std::array<double, 4>> Positions(const std::vector<ro::TiePoint>& t) {
    std::vector<std::array<double, 4>> rows;
    for (const ro::TiePoint& p : t) rows.push_back({p.row1_px, p.col1_px, p.row2_px, p.col2_px});
    return rows;
}

TEST(KeypointMatchingTest, SameMatchesAsRelativeOnEveryThreadCount) {
    const Lists lists = MakeLists(700, 400, 500, 1);
    int count = 0;
    const MatchArray reference = FindMatchesReference(lists.keys1, lists.keys2, 128, &count);
    std::vector<std::array<double, 4>> expected;
    for (const MatchRow& m : reference) expected.push_back({m[0], m[1], m[2], m[3]});
    ASSERT_GT(expected.size(), 100u);
    for (const int threads : {1, 2, 3, 4, 16}) {
        ro::MatchOptions options;
        options.threads = threads;
        EXPECT_EQ(Positions(ro::MatchKeypoints(lists.keys1, lists.keys2, 128, options)), expected)
            << threads << " threads";
    }
}

TEST(KeypointMatchingTest, MutualMatchesAreTheOnesBothWays) {
    Lists lists = MakeLists(300, 200, 100, 2);
    // Keypoint 0 of list 2 twice in list 1: it can be the mutual match of only one of them.
    lists.keys1.push_back(lists.keys1[199]);
    ro::MatchOptions options;
    const std::vector<ro::TiePoint> all =
        ro::MatchKeypoints(lists.keys1, lists.keys2, 128, options);
    options.mutual = true;
    const std::vector<ro::TiePoint> mutual =
        ro::MatchKeypoints(lists.keys1, lists.keys2, 128, options);
    EXPECT_LT(mutual.size(), all.size());
    const std::vector<NeighbourPair> back = FindAllNeighbours(lists.keys2, lists.keys1, 128);
    for (const ro::TiePoint& t : mutual)
        EXPECT_EQ(back[static_cast<std::size_t>(t.key2)].nearest, t.key1);
    for (const ro::TiePoint& t : all) {
        const bool is_mutual = back[static_cast<std::size_t>(t.key2)].nearest == t.key1;
        EXPECT_EQ(is_mutual, std::any_of(mutual.begin(), mutual.end(),
                                         [&](const ro::TiePoint& m) { return m.key1 == t.key1; }));
    }
}

TEST(KeypointMatchingTest, RatiosParseExactlyAndApplyExactly) {
    struct Case {
        const char* text;
        bool ok;
        std::int64_t numerator;
        std::int64_t denominator;
    };
    for (const Case& c :
         {Case{"0.6", true, 6, 10}, Case{".75", true, 75, 100}, Case{"1", true, 1, 1},
          Case{"0.123456789", true, 123456789, 1000000000}, Case{"0", false, 0, 0},
          Case{"1.5", false, 0, 0}, Case{"0.1234567891", false, 0, 0}, Case{"-0.5", false, 0, 0},
          Case{"0.6x", false, 0, 0}, Case{"", false, 0, 0}, Case{".", false, 0, 0},
          Case{"00.5", false, 0, 0}, Case{"6e-1", false, 0, 0}}) {
        const auto r = ro::ParseDistanceRatio(c.text);
        ASSERT_EQ(r.has_value(), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(r->numerator, c.numerator) << c.text;
        EXPECT_EQ(r->denominator, c.denominator) << c.text;
    }
    // 0.75 decides a tie of 3 * d2 = 4 * d1 exactly: rejected (strict), one less accepted.
    KeypointList one(1);
    one[0].descrip = {0};
    KeypointList two(2);
    two[0].descrip = {30};
    two[1].descrip = {40};
    ro::MatchOptions options;
    options.ratio = *ro::ParseDistanceRatio("0.75");
    EXPECT_TRUE(ro::MatchKeypoints(one, two, 1, options).empty());
    two[0].descrip = {29};
    EXPECT_EQ(ro::MatchKeypoints(one, two, 1, options).size(), 1u);
}

}  // namespace
