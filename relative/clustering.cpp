// Clustering of the sampled solutions by their Y base component.
#include "relative/clustering.h"

#include <cmath>
#include <cstddef>

#include "relative/utils.h"

namespace relative {

bool IsFiniteSolution(const Solution& s) {
    for (const double v : s) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

DeltaYStats ComputeDeltaYStats(const SolutionTable& vals) {
    DeltaYStats stats;
    double sum = 0.0;
    for (const Solution& s : vals) {
        if (!IsFiniteSolution(s)) continue;
        sum += s[0];
        ++stats.count;
    }
    if (stats.count == 0) return stats;
    stats.mean_deltaY = sum / stats.count;
    double squares = 0.0;
    for (const Solution& s : vals) {
        if (!IsFiniteSolution(s)) continue;
        const double d = s[0] - stats.mean_deltaY;
        squares += d * d;
    }
    if (stats.count > 1) stats.var_deltaY = squares / (stats.count - 1);
    stats.std_deltaY = std::sqrt(stats.var_deltaY);
    stats.max_Dist = stats.mean_deltaY + 2 * stats.std_deltaY;
    stats.min_Dist = stats.mean_deltaY - 2 * stats.std_deltaY;
    stats.binSpacing = (stats.max_Dist - stats.min_Dist) / kNumBins;
    return stats;
}

double BinEdge(const DeltaYStats& stats, int b) { return stats.min_Dist + b * stats.binSpacing; }

namespace {

// Bin of v, or -1 when v lies at or above the upper edge of the last bin.
int BinOf(double v, const DeltaYStats& stats) {
    for (int i = 1; i <= kNumBins; ++i) {
        if (v < BinEdge(stats, i)) return i - 1;
    }
    return -1;
}

// The edges cannot separate anything: every solution shares one value, or the
// statistics overflowed.
bool SpreadIsDegenerate(const DeltaYStats& stats) {
    return !(stats.binSpacing > 0.0) || !std::isfinite(stats.binSpacing) ||
           !std::isfinite(BinEdge(stats, kNumBins));
}

}  // namespace

Histogram BinSolutions(const SolutionTable& vals, const DeltaYStats& stats) {
    Histogram histogram;
    const bool degenerate = SpreadIsDegenerate(stats);
    for (std::size_t j = 0; j < vals.size(); ++j) {
        if (!IsFiniteSolution(vals[j])) continue;
        const int b = degenerate ? 0 : BinOf(vals[j][0], stats);
        if (b >= 0) histogram[static_cast<std::size_t>(b)].push_back(static_cast<int>(j));
    }
    return histogram;
}

FullestBin FindFullestBin(const Histogram& histogram) {
    FullestBin fullest;
    for (int b = 0; b < kNumBins; ++b) {
        const int count = static_cast<int>(histogram[static_cast<std::size_t>(b)].size());
        if (count > fullest.maxVal) {
            fullest.maxIndex = b;
            fullest.maxVal = count;
        }
    }
    return fullest;
}

Solution AverageSolutions(const SolutionTable& vals, const std::vector<int>& members) {
    Solution sum{};
    for (const int j : members) {
        for (std::size_t c = 0; c < sum.size(); ++c) sum[c] += vals[static_cast<std::size_t>(j)][c];
    }
    for (double& c : sum) c /= static_cast<double>(members.size());
    return sum;
}

Solution ClusterSolutions(const SolutionTable& vals, std::FILE* log) {
    const DeltaYStats stats = ComputeDeltaYStats(vals);
    if (stats.count == 0) {
        FatalError("No finite solution in %d samples.", static_cast<int>(vals.size()));
    }
    std::fprintf(log, "\nProperties of Delta_Y - mean: %4.4f\tvariance: %4.4f\tSTD: %4.4f\n",
                 stats.mean_deltaY, stats.var_deltaY, stats.std_deltaY);
    std::fprintf(log, "min_Dist: %4.4f\tmax_Dist: %4.4f\tbinSpacing: %4.4f\n", stats.min_Dist,
                 stats.max_Dist, stats.binSpacing);
    for (int i = 0; i < kNumBins; ++i) std::fprintf(log, "%4.4f ", BinEdge(stats, i));

    const Histogram histogram = BinSolutions(vals, stats);
    const FullestBin fullest = FindFullestBin(histogram);
    std::fprintf(log, "\nMax Bin Index: %d\tMax Bin Value: %d\n", fullest.maxIndex, fullest.maxVal);
    // Some finite solution always lies below the upper edge (at least one is not above
    // the mean), so the fullest bin is never empty; refuse rather than divide by zero.
    if (fullest.maxVal == 0) FatalError("No solution fell into a histogram bin.");
    return AverageSolutions(vals, histogram[static_cast<std::size_t>(fullest.maxIndex)]);
}

}  // namespace relative
