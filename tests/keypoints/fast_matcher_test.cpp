// The fast matcher against the plain search: per-row neighbours (indices and distances)
// and the accepted matches, for every kernel this CPU runs, on generated inputs.
#include "keypoints/fast_matcher.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "testing/keypoint_files.h"

namespace keypoints {
namespace {

using scene::RelatedKeys;
using scene::SiftLikeKeys;
using scene::UniformKeys;

struct Lists {
    KeypointList keys1;
    KeypointList keys2;
    int dims;
};

struct MatchCase {
    std::string name;
    std::function<Lists()> make;
};

// Every per-row result and the match array must equal the plain matcher's.
void ExpectSameAsReference(const Lists& in, MatchKernel kernel) {
    const std::vector<NeighbourPair> fast = FindAllNeighbours(in.keys1, in.keys2, in.dims, kernel);
    ASSERT_EQ(fast.size(), in.keys1.size());
    for (std::size_t i = 0; i < in.keys1.size(); ++i) {
        const NeighbourPair ref = FindNeighbours(in.keys1[i], in.keys2, in.dims);
        ASSERT_EQ(fast[i].nearest, ref.nearest) << "row " << i;
        ASSERT_EQ(fast[i].dist1, ref.dist1) << "row " << i;
        ASSERT_EQ(fast[i].second, ref.second) << "row " << i;
        ASSERT_EQ(fast[i].dist2, ref.dist2) << "row " << i;
    }
}

Lists UniformPair(int n1, int n2, int dims, int lo, int hi, unsigned seed) {
    KeypointList keys1 = UniformKeys(n1, dims, lo, hi, seed);
    KeypointList keys2 = RelatedKeys(keys1, n2, lo, hi, seed + 7);
    return Lists{std::move(keys1), std::move(keys2), dims};
}

Lists SiftPair(int n1, int n2, int dims, unsigned seed) {
    KeypointList keys1 = SiftLikeKeys(n1, dims, seed);
    KeypointList keys2 = SiftLikeKeys(n2, dims, seed + 3);
    for (int j = 0; j + 1 < n2 && !keys1.empty(); j += 4) {
        keys2[j].descrip = keys1[(j * 7) % n1].descrip;  // exact repeats of list-1 keys
        keys2[j + 1].descrip = keys2[j].descrip;         // tied with the one before
    }
    return Lists{std::move(keys1), std::move(keys2), dims};
}

Lists Constant(int n1, int n2, int dims, int v1, int v2) {
    return Lists{UniformKeys(n1, dims, v1, v1, 1), UniformKeys(n2, dims, v2, v2, 2), dims};
}

std::vector<MatchCase> Cases() {
    return {
        {"Uniform300x700", [] { return UniformPair(300, 700, 128, 0, 255, 11); }},
        {"SiftLike257x2100", [] { return SiftPair(257, 2100, 128, 12); }},  // > one L2 chunk
        {"OffTileSizes97x1531", [] { return UniformPair(97, 1531, 128, 0, 255, 13); }},
        {"FiveRowsAcrossChunks", [] { return UniformPair(5, 4097, 16, 0, 255, 14); }},
        {"SmallRangeManyTies", [] { return UniformPair(120, 400, 8, 0, 2, 15); }},
        {"OddLength1", [] { return UniformPair(40, 70, 1, 0, 255, 16); }},
        {"OddLength3", [] { return UniformPair(40, 70, 3, 0, 255, 17); }},
        {"OddLength129", [] { return UniformPair(33, 90, 129, 0, 255, 18); }},
        {"AllZeroAgainstAll255", [] { return Constant(9, 75, 128, 0, 255); }},
        {"All255AgainstAll255", [] { return Constant(9, 75, 128, 255, 255); }},
        {"LengthZero", [] { return UniformPair(6, 5, 0, 0, 255, 19); }},
        {"NegativeLength",
         [] {
             return Lists{UniformKeys(4, 3, 0, 9, 20), UniformKeys(5, 3, 0, 9, 21), -2};
         }},
        {"SingleCandidate", [] { return UniformPair(50, 1, 128, 0, 255, 22); }},
        {"SingleRow", [] { return UniformPair(1, 300, 128, 0, 255, 23); }},
        {"EmptyFirst", [] { return UniformPair(0, 30, 128, 0, 255, 24); }},
        {"EmptySecond",
         [] {
             return Lists{UniformKeys(30, 128, 0, 255, 25), {}, 128};
         }},
        {"ValueJustAbove255",
         [] {
             Lists l = UniformPair(60, 90, 128, 0, 255, 26);
             l.keys2[17].descrip[5] = 256;
             return l;
         }},
        {"FirstListValue256",
         [] {
             Lists l = UniformPair(60, 90, 128, 0, 255, 33);
             l.keys1[59].descrip[127] = 256;
             return l;
         }},
        {"NegativeValues", [] { return UniformPair(60, 90, 32, -300, 300, 27); }},
        {"HugeValuesSaturate", [] { return UniformPair(20, 30, 4, INT_MIN, INT_MAX, 28); }},
        {"LargeDifferencesOverflow32Bits", [] { return UniformPair(20, 40, 128, 0, 9000, 29); }},
        {"LongerThanByteKernels", [] { return UniformPair(3, 5, 9000, 0, 255, 30); }},
    };
}

std::vector<MatchKernel> RunnableKernels() {
    std::vector<MatchKernel> kernels;
    for (MatchKernel k : {MatchKernel::automatic, MatchKernel::vnni, MatchKernel::avx2,
                          MatchKernel::portable, MatchKernel::wide}) {
        if (MatchKernelAvailable(k)) kernels.push_back(k);
    }
    return kernels;
}

class FastMatcherTest : public testing::TestWithParam<std::tuple<MatchKernel, MatchCase>> {};

TEST_P(FastMatcherTest, SameAsReference) {
    ExpectSameAsReference(std::get<1>(GetParam()).make(), std::get<0>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Kernels, FastMatcherTest,
                         testing::Combine(testing::ValuesIn(RunnableKernels()),
                                          testing::ValuesIn(Cases())),
                         [](const auto& p) {
                             return std::string(MatchKernelName(std::get<0>(p.param))) + "_" +
                                    std::get<1>(p.param).name;
                         });

class FastMatcherRandomTest : public testing::TestWithParam<MatchKernel> {};

// Many small cases with few distinct values, so that ties and duplicates are common and
// sizes fall on and off every tile boundary; some carry a value outside 0..255.
TEST_P(FastMatcherRandomTest, ManySmallCases) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 400; ++round) {
        const int n1 = std::uniform_int_distribution<int>(0, 9)(rng);
        const int n2 = std::uniform_int_distribution<int>(0, 70)(rng);
        const int dims = std::uniform_int_distribution<int>(0, 9)(rng);
        const int hi = std::uniform_int_distribution<int>(0, 1)(rng) ? 3 : 255;
        Lists in{UniformKeys(n1, dims, 0, hi, rng()), UniformKeys(n2, dims, 0, hi, rng()), dims};
        if (round % 10 == 0 && n2 > 0 && dims > 0) in.keys2[n2 - 1].descrip[0] = -1;
        SCOPED_TRACE("round " + std::to_string(round));
        ExpectSameAsReference(in, GetParam());
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, FastMatcherRandomTest, testing::ValuesIn(RunnableKernels()),
                         [](const auto& p) { return MatchKernelName(p.param); });

TEST(FastMatcher, ShortDescriptorsReadAsZeroPadded) {
    Lists padded = UniformPair(10, 20, 6, 0, 255, 31);
    Lists shortened = padded;
    for (KeypointSt& k : padded.keys2) k.descrip[4] = k.descrip[5] = 0;
    for (KeypointSt& k : shortened.keys2) k.descrip.resize(4);
    for (MatchKernel kernel : RunnableKernels()) {
        SCOPED_TRACE(MatchKernelName(kernel));
        const auto want = FindAllNeighbours(padded.keys1, padded.keys2, 6, kernel);
        const auto got = FindAllNeighbours(shortened.keys1, shortened.keys2, 6, kernel);
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].nearest, want[i].nearest);
            EXPECT_EQ(got[i].dist1, want[i].dist1);
            EXPECT_EQ(got[i].second, want[i].second);
            EXPECT_EQ(got[i].dist2, want[i].dist2);
        }
    }
}

}  // namespace
}  // namespace keypoints
