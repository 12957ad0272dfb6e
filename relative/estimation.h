// The estimation of `relative` after the matching: sampled solves of the coplanarity
// condition and their clustering. GetRelative seeds it from the clock; tests and
// benchmarks call it with a seed of their own.
#pragma once

#include <array>
#include <cstdio>

#include "common/angles.h"
#include "levmar/levmar.h"
#include "relative/clustering.h"
#include "relative/utils.h"

namespace relative {

inline constexpr int kNumSamples = 1000;
inline constexpr int kPointsPerSample = 20;

// Solver starting point (Ey, Ez, omega2, phi2, kappa2): omega -0.7 and phi 0.32 degrees.
using common::kRadiansPerDegree;
inline constexpr Solution kInitialParameters = {-0.13, 0.0, -0.7 * kRadiansPerDegree,
                                                0.32 * kRadiansPerDegree, 0.0};

// The solver call of every sample: at most kIterationLimit iterations, and the options
// (initial damping scale, stopping thresholds on the gradient, the relative step and the
// error, forward-difference step) of dlevmar_dif.
inline constexpr int kIterationLimit = 5000;
inline constexpr std::array<double, LM_OPTS_SZ> kSolverOptions = {1e-3, 1e-15, 1e-15, 1e-20, 1e-6};

// The six results of the relative orientation (dx = 1 sets the scale; angles in radians).
struct RelativeOrientation {
    double dx = 1.0;
    double dy = 0.0;
    double dz = 0.0;
    double dtheta = 0.0;
    double dphi = 0.0;
    double dkapa = 0.0;
};

// A duration in whole seconds (difftime truncated towards zero) as minutes and seconds.
struct MatchingTime {
    int mins = 0;
    int secs = 0;
};
MatchingTime SplitSeconds(int total);

// Solves the coplanarity condition on kNumSamples random samples of kPointsPerSample
// matches (the C library generator seeded with `seed`), each solve started from
// kInitialParameters. Returns the solution table, one row per sample; a solve that
// failed (dlevmar_dif returned -1, for instance on a tie point at an infinite or NaN
// position) is no solution: its row is all NaN, so that it takes part in nothing.
SolutionTable SolveSamples(const MatchArray& matches, unsigned seed);

// The whole estimation from the match array: writes the sampling announcement, the
// statistics and the fullest bin to `log` and returns the mean solution of the fullest
// bin. Stops through FatalError with fewer than kPointsPerSample matches.
RelativeOrientation EstimateFromMatches(const MatchArray& matches, unsigned seed, std::FILE* log);

}  // namespace relative
