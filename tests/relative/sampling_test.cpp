// Random draws of distinct tie-point indices.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "relative/utils.h"

namespace relative {
namespace {

struct DrawCase {
    int max;
    int len;
};

class RandomSamplesTest : public testing::TestWithParam<DrawCase> {};

TEST_P(RandomSamplesTest, DistinctIndicesInRange) {
    const DrawCase c = GetParam();
    std::srand(42);
    for (int draw = 0; draw < 50; ++draw) {
        const std::vector<int> s = getRandomSamples(c.max, c.len);
        ASSERT_EQ(static_cast<int>(s.size()), c.len);
        const std::set<int> distinct(s.begin(), s.end());
        EXPECT_EQ(static_cast<int>(distinct.size()), c.len);
        for (const int v : s) {
            EXPECT_GE(v, 0);
            EXPECT_LT(v, c.max);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RandomSamplesTest,
                         testing::Values(DrawCase{20, 20},  // every index, in random order
                                         DrawCase{21, 20}, DrawCase{240, 20}, DrawCase{1, 1},
                                         DrawCase{5, 0}, DrawCase{100000, 20}));

TEST(RandomSamplesTest, SameSeedSameDraws) {
    std::srand(7);
    const std::vector<int> a = getRandomSamples(300, 20);
    const std::vector<int> b = getRandomSamples(300, 20);
    std::srand(7);
    EXPECT_EQ(getRandomSamples(300, 20), a);
    EXPECT_EQ(getRandomSamples(300, 20), b);
    EXPECT_NE(a, b);
}

TEST(RandomSamplesTest, RefusesImpossibleDrawsInsteadOfLooping) {
    const DrawCase refused[] = {{19, 20}, {0, 20}, {0, 0}, {-5, 1}, {10, -1}, {1, 2}};
    for (const DrawCase c : refused) {
        EXPECT_TRUE(getRandomSamples(c.max, c.len).empty()) << c.max << " " << c.len;
    }
}

}  // namespace
}  // namespace relative
