// The estimator of `relative`: tie points from the matcher, sampled solves of
// the coplanarity condition, clustering of the solutions by their Y base
// component.
#include "relative/estimation.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "relative/pause.h"
#include "relative/relative.h"
#include "relative/utils.h"

namespace relative {
namespace {

constexpr int kNumParameters = 5;

// The row of a solve that failed.
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr Solution kFailedSolve = {kNaN, kNaN, kNaN, kNaN, kNaN};

using TiePointRows = std::vector<std::array<double, 4>>;

// Tie-point row (i1, j1, i2, j2), column before row, from a match row
// (row1, col1, row2, col2).
void FillRows(const MatchArray& matches, const std::vector<int>& samples, TiePointRows& rows) {
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const MatchRow& m = matches[static_cast<std::size_t>(samples[k])];
        rows[k] = {static_cast<double>(m[1]), static_cast<double>(m[0]), static_cast<double>(m[3]),
                   static_cast<double>(m[2])};
    }
}

}  // namespace

MatchingTime SplitSeconds(int total) {
    MatchingTime t;
    t.secs = total % 60;
    t.mins = (total - t.secs) / 60;
    return t;
}

SolutionTable SolveSamples(const MatchArray& matches, unsigned seed) {
    const int numMatches = static_cast<int>(matches.size());
    if (numMatches < kPointsPerSample) return {};
    SolutionTable vals(kNumSamples);
    TiePointRows points(kPointsPerSample);
    InfoSt tiepts;
    tiepts.tiepoints = &points;
    double x[kPointsPerSample] = {};
    double info[LM_INFO_SZ];
    std::srand(seed);
    for (Solution& row : vals) {
        FillRows(matches, getRandomSamples(numMatches, kPointsPerSample), points);
        std::array<double, LM_OPTS_SZ> opts = kSolverOptions;
        // Every solve starts afresh: a sample with false matches can drive the
        // solver far off, and starting the next solve from there would carry that
        // into it.
        Solution p = kInitialParameters;
        const int status =
            dlevmar_dif(fcoplanar, p.data(), x, kNumParameters, kPointsPerSample, kIterationLimit,
                        opts.data(), info, nullptr, nullptr, &tiepts);
        // A failed solve leaves p at the last estimate it accepted, often the start
        // vector itself: finite, but no solution of this sample.
        row = status < 0 ? kFailedSolve : p;
    }
    return vals;
}

RelativeOrientation EstimateFromMatches(const MatchArray& matches, unsigned seed, std::FILE* log) {
    const int numMatches = static_cast<int>(matches.size());
    if (numMatches < kPointsPerSample) {
        FatalError("Not enough tiepoints: found %d, need at least %d.", numMatches,
                   kPointsPerSample);
    }
    std::fputs("\n\tMinimization Properties:\n", log);
    std::fputs("\t\tperforming hough transform clustering on Y2\n", log);
    std::fprintf(log, "\t\ttaking %d samples\n", kNumSamples);
    std::fprintf(log, "\t\teach sample contains %d tiepoints\n", kPointsPerSample);

    const SolutionTable vals = SolveSamples(matches, seed);
    const Solution mean = ClusterSolutions(vals, log);
    RelativeOrientation result;
    result.dx = 1.0;
    result.dy = mean[0];
    result.dz = mean[1];
    result.dtheta = mean[2];
    result.dphi = mean[3];
    result.dkapa = mean[4];
    return result;
}

}  // namespace relative

void GetRelative(const KeypointList& keys1, const KeypointList& keys2, int dims, double* dx,
                 double* dy, double* dz, double* dtheta, double* dphi, double* dkapa) {
    std::fputs("\n\nCalled 'GetRelative'\n--------------------\n", stderr);
    std::fputs("\n\tInitializing variables for LM optimization.........", stderr);
    std::fputs("done!\n", stderr);
    relative::Pause(1);

    std::fputs("\n\tFinding tiepoints across images....................", stderr);
    const std::time_t start = std::time(nullptr);
    int numMatches = 0;
    const MatchArray matches = FindMatches(keys1, keys2, dims, &numMatches);
    const std::time_t finish = std::time(nullptr);
    const relative::MatchingTime took =
        relative::SplitSeconds(static_cast<int>(std::difftime(finish, start)));
    std::fprintf(stderr, "done!\n\t\tfound %d tiepoints", numMatches);
    std::fprintf(stderr, "   (matching took %d mins and %d secs)\n", took.mins, took.secs);
    if (numMatches < relative::kPointsPerSample) {
        FatalError("Not enough tiepoints: found %d, need at least %d.", numMatches,
                   relative::kPointsPerSample);
    }
    relative::Pause(1);

    const relative::RelativeOrientation r =
        relative::EstimateFromMatches(matches, static_cast<unsigned>(std::time(nullptr)), stderr);
    *dx = r.dx;
    *dy = r.dy;
    *dz = r.dz;
    *dtheta = r.dtheta;
    *dphi = r.dphi;
    *dkapa = r.dkapa;
}
