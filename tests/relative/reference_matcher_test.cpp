// Descriptor distance, the nearest / second-nearest rule and the match array.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "relative/utils.h"
#include "testing/case_name.h"
#include "testing/keypoint_files.h"

namespace {

using scene::RelatedKeys;
using scene::UniformKeys;
using test_support::CaseName;

using keypoints::FindNeighbours;
using keypoints::kNoCandidateDistance;
using keypoints::NeighbourPair;

KeypointSt Key(std::vector<int> descrip, float row = 0.0f, float col = 0.0f) {
    KeypointSt k;
    k.row = row;
    k.col = col;
    k.descrip = std::move(descrip);
    return k;
}

struct DistCase {
    std::vector<int> a;
    std::vector<int> b;
    int dims;
    int expected;
};

class DistTest : public testing::TestWithParam<DistCase> {};

TEST_P(DistTest, TruncatedRootOfTheSquareSum) {
    const DistCase& c = GetParam();
    const KeypointSt a = Key(c.a);
    const KeypointSt b = Key(c.b);
    EXPECT_EQ(Dist(&a, &b, c.dims), c.expected);
    EXPECT_EQ(Dist(&b, &a, c.dims), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DistTest,
    testing::Values(DistCase{{0, 0}, {0, 0}, 2, 0}, DistCase{{3, 0}, {0, 4}, 2, 5},
                    DistCase{{9, 3, 3, 3}, {0, 0, 0, 0}, 4, 10},  // sum 108 -> 10
                    DistCase{{7, 5, 5}, {0, 0, 0}, 3, 9},         // sum 99 -> 9, not 10
                    DistCase{{10}, {0}, 1, 10},                   // sum 100 -> 10
                    DistCase{{1, 2, 3}, {9, 9, 9}, 0, 0},         // no element compared
                    DistCase{{5, 100}, {2, -100}, 1, 3},          // only dims elements count
                    DistCase{{-3, 1000}, {3, -1000}, 2, 2000},    // sum 4000036 -> 2000
                    // 46341^2 exceeds INT_MAX: the 32-bit sum would overflow here.
                    DistCase{{46341}, {0}, 1, 46341},
                    DistCase{{INT_MAX}, {INT_MIN}, 1, INT_MAX},  // saturates
                    DistCase{{INT_MAX, INT_MAX}, {0, 0}, 2, INT_MAX}));

TEST(Dist, MatchesThirtyTwoBitDefinitionWhereItDoesNotOverflow) {
    // 128 elements differing by 4095 each: the largest sum the 32-bit form can hold.
    const KeypointSt a = Key(std::vector<int>(128, 4095));
    const KeypointSt b = Key(std::vector<int>(128, 0));
    const int sum = 128 * 4095 * 4095;
    EXPECT_EQ(Dist(&a, &b, 128), static_cast<int>(std::sqrt(static_cast<double>(sum))));
}

TEST(Dist, ExactForLargeSums) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> value(INT_MIN / 2, INT_MAX / 2);
    for (int trial = 0; trial < 200; ++trial) {
        const KeypointSt a = Key({value(rng) / 65536});
        const KeypointSt b = Key({value(rng) / 65536});
        const long long diff = static_cast<long long>(a.descrip[0]) - b.descrip[0];
        EXPECT_EQ(Dist(&a, &b, 1), static_cast<int>(diff < 0 ? -diff : diff));
    }
}

// Candidates at the given one-element distances from a key at 0.
KeypointList AtDistances(const std::vector<int>& distances) {
    KeypointList list;
    for (std::size_t j = 0; j < distances.size(); ++j) {
        list.push_back(Key({distances[j]}, static_cast<float>(j), static_cast<float>(j) + 0.5f));
    }
    return list;
}

struct CheckCase {
    const char* name;
    std::vector<int> distances;
    int accepted;  // index of the accepted candidate, -1 for none
};

class CheckForMatchTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckForMatchTest, AcceptsOnlyClearNearest) {
    const CheckCase& c = GetParam();
    const KeypointList list = AtDistances(c.distances);
    const KeypointSt key = Key({0});
    const Keypoint got = CheckForMatch(&key, list, 1);
    if (c.accepted < 0) {
        EXPECT_EQ(got, nullptr);
    } else {
        EXPECT_EQ(got, &list[static_cast<std::size_t>(c.accepted)]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckForMatchTest,
    testing::Values(CheckCase{"empty_list", {}, -1},
                    CheckCase{"single_candidate_far_below_start", {500000000}, 0},
                    CheckCase{"single_candidate_at_ratio_of_start", {600000000}, -1},
                    CheckCase{"sixty_of_hundred_rejected", {100, 60}, -1},
                    CheckCase{"fifty_nine_of_hundred_accepted", {100, 59}, 1},
                    CheckCase{"three_of_five_rejected", {3, 5}, -1},
                    CheckCase{"equal_nearest_rejected", {7, 7, 100}, -1},
                    CheckCase{"zero_with_second_one_accepted", {1, 0}, 1},
                    CheckCase{"zero_twice_rejected", {0, 0}, -1},
                    CheckCase{"later_equal_to_nearest_is_second", {10, 4, 4, 3}, -1},
                    CheckCase{"third_nearest_ignored", {20, 2, 30, 4}, 1}),
    CaseName());

TEST(FindNeighbours, EarliestOfEqualCandidatesIsNearest) {
    const KeypointList list = AtDistances({9, 4, 4, 6});
    const NeighbourPair best = FindNeighbours(Key({0}), list, 1);
    EXPECT_EQ(best.nearest, 1);
    EXPECT_EQ(best.dist1, 4);
    EXPECT_EQ(best.second, 2);
    EXPECT_EQ(best.dist2, 4);
}

TEST(FindNeighbours, NoSecondInAOneKeypointList) {
    const NeighbourPair best = FindNeighbours(Key({0}), AtDistances({3}), 1);
    EXPECT_EQ(best.nearest, 0);
    EXPECT_EQ(best.second, -1);
    EXPECT_EQ(best.dist2, kNoCandidateDistance);
}

TEST(FindMatches, RowsFollowTheFirstListAndMayShareASecondKeypoint) {
    const KeypointList keys2 = {Key({0, 0}, 1.0f, 2.0f), Key({100, 100}, 3.0f, 4.0f)};
    const KeypointList keys1 = {Key({1, 0}, 10.0f, 11.0f), Key({50, 50}, 12.0f, 13.0f),
                                Key({99, 100}, 14.0f, 15.0f), Key({0, 2}, 16.0f, 17.0f)};
    int numMatches = -1;
    const MatchArray rows = FindMatches(keys1, keys2, 2, &numMatches);
    ASSERT_EQ(numMatches, 3);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (MatchRow{10.0f, 11.0f, 1.0f, 2.0f}));
    EXPECT_EQ(rows[1], (MatchRow{14.0f, 15.0f, 3.0f, 4.0f}));
    EXPECT_EQ(rows[2], (MatchRow{16.0f, 17.0f, 1.0f, 2.0f}));
}

TEST(FindMatches, EmptyListsGiveNoRows) {
    const KeypointList some = {Key({1}), Key({5})};
    for (const auto& [a, b] : {std::pair{KeypointList{}, some}, std::pair{some, KeypointList{}},
                               std::pair{KeypointList{}, KeypointList{}}}) {
        int numMatches = -1;
        EXPECT_TRUE(FindMatches(a, b, 1, &numMatches).empty());
        EXPECT_EQ(numMatches, 0);
    }
}

// An independent statement of the rule: sort the candidates by (distance, position) and
// take the first two; a missing second candidate counts as the starting distance.
int CountMatchesIndependently(const KeypointList& keys1, const KeypointList& keys2, int dims) {
    int count = 0;
    for (const KeypointSt& a : keys1) {
        std::vector<std::pair<long long, std::size_t>> candidates;
        for (std::size_t j = 0; j < keys2.size(); ++j) {
            long long sum = 0;
            for (int d = 0; d < dims; ++d) {
                const long long diff = static_cast<long long>(a.descrip[d]) - keys2[j].descrip[d];
                sum += diff * diff;
            }
            long long root = 0;
            while ((root + 1) * (root + 1) <= sum) ++root;
            candidates.emplace_back(root, j);
        }
        std::sort(candidates.begin(), candidates.end());
        if (candidates.empty()) continue;
        const long long d1 = candidates[0].first;
        const long long d2 = candidates.size() > 1 ? candidates[1].first : kNoCandidateDistance;
        if (5 * d1 < 3 * d2) ++count;
    }
    return count;
}

struct GeneratedCase {
    const char* name;
    int n1;
    int n2;
    int dims;
    int max_value;   // descriptor values 0 .. max_value (small: many equal distances)
    int duplicates;  // keypoints of keys2 repeated exactly
};

class GeneratedMatchTest : public testing::TestWithParam<GeneratedCase> {};

TEST_P(GeneratedMatchTest, CountEqualsIndependentComputation) {
    const GeneratedCase& c = GetParam();
    for (unsigned seed = 1; seed <= 5; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> value(0, c.max_value);
        auto random_key = [&] {
            std::vector<int> d(static_cast<std::size_t>(c.dims));
            for (int& v : d) v = value(rng);
            return Key(d);
        };
        KeypointList keys2;
        for (int j = 0; j < c.n2; ++j) keys2.push_back(random_key());
        for (int j = 0; j < c.duplicates && !keys2.empty(); ++j)
            keys2.push_back(keys2[j % keys2.size()]);
        KeypointList keys1;
        for (int i = 0; i < c.n1; ++i) {
            // Half the first list are near copies of second-list keypoints.
            if (i % 2 == 0 && !keys2.empty()) {
                KeypointSt k = keys2[static_cast<std::size_t>(i) % keys2.size()];
                if (c.dims > 0) k.descrip[static_cast<std::size_t>(i) % c.dims] += 1;
                keys1.push_back(k);
            } else {
                keys1.push_back(random_key());
            }
        }
        int numMatches = -1;
        const MatchArray rows = FindMatches(keys1, keys2, c.dims, &numMatches);
        EXPECT_EQ(numMatches, CountMatchesIndependently(keys1, keys2, c.dims)) << "seed " << seed;
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(numMatches));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, GeneratedMatchTest,
    testing::Values(GeneratedCase{"sift_like", 60, 80, 128, 255, 0},
                    GeneratedCase{"small_values_many_ties", 80, 80, 4, 3, 0},
                    GeneratedCase{"duplicated_descriptors", 60, 40, 16, 255, 20},
                    GeneratedCase{"one_keypoint_second_list", 30, 1, 8, 255, 0},
                    GeneratedCase{"descriptor_length_zero", 10, 10, 0, 0, 0},
                    GeneratedCase{"descriptor_length_zero_single", 10, 1, 0, 0, 0}),
    CaseName());

// FindMatches runs the fast matcher (each kernel is compared with the plain search in the
// keypoints library's tests): its match array and count equal the plain matcher's.
TEST(FindMatches, FastPathEqualsThePlainMatcher) {
    const KeypointList keys1 = UniformKeys(80, 128, 0, 255, 32);
    const KeypointList keys2 = RelatedKeys(keys1, 200, 0, 255, 39);
    int ref_count = -1;
    const MatchArray want = relative::FindMatchesReference(keys1, keys2, 128, &ref_count);
    EXPECT_GT(ref_count, 0);
    int count = -1;
    EXPECT_EQ(FindMatches(keys1, keys2, 128, &count), want);
    EXPECT_EQ(count, ref_count);
}

}  // namespace
