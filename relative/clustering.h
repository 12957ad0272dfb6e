// Clustering of the sampled solutions by their Y base component: statistics, a ten-bin
// histogram over the mean plus or minus two standard deviations, the fullest bin and the
// mean solution of that bin.
#pragma once

#include <array>
#include <cstdio>
#include <vector>

namespace relative {

// One solve's parameter vector (Ey, Ez, omega2, phi2, kappa2).
using Solution = std::array<double, 5>;
using SolutionTable = std::vector<Solution>;

inline constexpr int kNumBins = 10;

// True when all five components are finite. Other solutions take part in nothing.
bool IsFiniteSolution(const Solution& s);

// Statistics of the Y components of the finite solutions.
struct DeltaYStats {
    int count = 0;  // number of finite solutions
    double mean_deltaY = 0.0;
    double var_deltaY = 0.0;  // divisor count - 1; 0 for a single solution
    double std_deltaY = 0.0;
    double min_Dist = 0.0;  // mean - 2 std: where bin 0 begins
    double max_Dist = 0.0;  // mean + 2 std
    double binSpacing = 0.0;
};
DeltaYStats ComputeDeltaYStats(const SolutionTable& vals);

// Lower edge of bin b.
double BinEdge(const DeltaYStats& stats, int b);

// Row numbers of the solutions of each bin, ascending. A finite Y below min_Dist falls into
// bin 0, a Y equal to an inner edge into the bin above it, a Y at or above the upper edge
// of bin 9 into none. When the spread is zero (or too large to be represented), every
// finite solution falls into bin 0.
using Histogram = std::array<std::vector<int>, kNumBins>;
Histogram BinSolutions(const SolutionTable& vals, const DeltaYStats& stats);

// The bin with the most solutions; of equally full bins the lowest number.
struct FullestBin {
    int maxIndex = 0;
    int maxVal = 0;
};
FullestBin FindFullestBin(const Histogram& histogram);

// Component-wise mean of the rows `members` of `vals`, summed in the order given.
// `members` must not be empty.
Solution AverageSolutions(const SolutionTable& vals, const std::vector<int>& members);

// Steps from the solution table to the clustered result, writing the statistics, the bin
// edges and the fullest bin to `log`. Stops through FatalError when no solution is finite.
Solution ClusterSolutions(const SolutionTable& vals, std::FILE* log);

}  // namespace relative
