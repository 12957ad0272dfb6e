// The homography check.
#include "robust_orientation/planarity.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "robust_orientation/random.h"
#include "robust_orientation/ransac.h"
#include "two_view/homography.h"

namespace ro {
namespace {

constexpr int kSampleSize = 4;
constexpr int kMinIterations = 50;
constexpr int kMaxIterations = 1000;
constexpr double kConfidence = 0.999;
constexpr std::size_t kMaxPoints = 500;

struct Scored {
    double score = std::numeric_limits<double>::infinity();
    int inliers = 0;
};

Scored Score(const Eigen::Matrix3d& H, const std::vector<Eigen::Vector3d>& u1,
             const std::vector<Eigen::Vector3d>& u2, double f2_px, double threshold_sq,
             std::vector<char>* mask = nullptr) {
    Scored s;
    s.score = 0.0;
    for (std::size_t k = 0; k < u1.size(); ++k) {
        const double e2 = two_view::TransferErrorSquared(H, u1[k], u2[k]) * f2_px * f2_px;
        const bool inlier = e2 < threshold_sq;
        if (mask != nullptr) (*mask)[k] = inlier ? 1 : 0;
        s.score += inlier ? e2 : threshold_sq;
        s.inliers += inlier ? 1 : 0;
    }
    return s;
}

}  // namespace

HomographyCheck CheckHomography(const CoplanarityModel& model,
                                std::span<const Observation> observations,
                                const std::vector<int>& inliers, double threshold_px,
                                std::uint64_t seed) {
    HomographyCheck check;
    // A spread of at most kMaxPoints of the inliers tells the share a homography explains
    // as well as all of them do.
    std::vector<Eigen::Vector3d> u1;
    std::vector<Eigen::Vector3d> u2;
    const std::size_t count = std::min(inliers.size(), kMaxPoints);
    for (std::size_t j = 0; j < count; ++j) {
        const auto k = static_cast<std::size_t>(inliers[j * inliers.size() / count]);
        u1.push_back(model.NormalisedRay1(observations[k]));
        u2.push_back(model.NormalisedRay2(observations[k]));
    }
    if (u1.size() < static_cast<std::size_t>(kSampleSize)) return check;
    const double f2_px = model.FocalLength2Px();
    const double threshold_sq = threshold_px * threshold_px;
    SplitMix64 random(seed);
    const auto n = static_cast<std::uint32_t>(u1.size());
    Scored best;
    Eigen::Matrix3d best_h = Eigen::Matrix3d::Identity();
    double needed = IterationsNeeded(static_cast<int>(std::ceil(kPlanarInlierRatio * n)),
                                     static_cast<int>(n), kSampleSize, kConfidence);
    for (int it = 0; it < kMaxIterations && (it < kMinIterations || it < needed); ++it) {
        const auto sample = DrawDistinct<kSampleSize>(random, n);
        two_view::FourPoints x1;
        two_view::FourPoints x2;
        for (int s = 0; s < kSampleSize; ++s) {
            x1[s] = u1[sample[s]];
            x2[s] = u2[sample[s]];
        }
        Eigen::Matrix3d H;
        if (!two_view::SolveHomographyFourPoint(x1, x2, &H)) continue;
        const Scored s = Score(H, u1, u2, f2_px, threshold_sq);
        if (s.score < best.score) {
            best = s;
            best_h = H;
            // Only a homography with more than kPlanarInlierRatio of the points matters: stop
            // once such a one would surely have been drawn, even when none was found.
            const int enough = static_cast<int>(std::ceil(kPlanarInlierRatio * n));
            needed = IterationsNeeded(std::max(s.inliers, enough), static_cast<int>(n), kSampleSize,
                                      kConfidence);
        }
    }
    if (best.inliers < kSampleSize) return check;
    // One least-squares refit on the inliers, kept when it explains more of them.
    std::vector<char> mask(u1.size(), 0);
    Score(best_h, u1, u2, f2_px, threshold_sq, &mask);
    std::vector<Eigen::Vector3d> in1;
    std::vector<Eigen::Vector3d> in2;
    for (std::size_t k = 0; k < u1.size(); ++k) {
        if (mask[k] == 0) continue;
        in1.push_back(u1[k]);
        in2.push_back(u2[k]);
    }
    Eigen::Matrix3d refit;
    if (two_view::SolveHomography(in1, in2, &refit)) {
        const Scored s = Score(refit, u1, u2, f2_px, threshold_sq);
        if (s.score < best.score) {
            best = s;
            best_h = refit;
        }
    }
    check.found = true;
    check.inliers = best.inliers;
    check.inlier_ratio = static_cast<double>(best.inliers) / static_cast<double>(u1.size());
    check.rotation_deviation = two_view::PureRotationDeviation(best_h);
    return check;
}

}  // namespace ro
