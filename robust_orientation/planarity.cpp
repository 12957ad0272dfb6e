// The homography check.
#include "robust_orientation/planarity.h"

#include <cmath>
#include <limits>

#include "robust_orientation/lo_ransac.h"
#include "two_view/homography.h"

namespace ro {
namespace {

constexpr int kMinIterations = 50;
constexpr int kMaxIterations = 1000;
constexpr double kConfidence = 0.999;
constexpr std::size_t kMaxPoints = 500;

// Homographies on the transfer error into photograph 2, in pixels.
class HomographyEstimator {
  public:
    using Model = Eigen::Matrix3d;
    static constexpr int kSampleSize = 4;

    HomographyEstimator(std::vector<Eigen::Vector3d> u1, std::vector<Eigen::Vector3d> u2,
                        double f2_px, double threshold_px)
        : u1_(std::move(u1)),
          u2_(std::move(u2)),
          f2_px_(f2_px),
          threshold_sq_(threshold_px * threshold_px) {}

    std::size_t Size() const { return u1_.size(); }

    void Solve(const std::array<std::uint32_t, kSampleSize>& sample,
               std::vector<Eigen::Matrix3d>* models) const {
        two_view::FourPoints x1;
        two_view::FourPoints x2;
        for (std::size_t s = 0; s < kSampleSize; ++s) {
            x1[s] = u1_[sample[s]];
            x2[s] = u2_[sample[s]];
        }
        models->clear();
        Eigen::Matrix3d H;
        if (two_view::SolveHomographyFourPoint(x1, x2, &H)) models->push_back(H);
    }

    Scored<Eigen::Matrix3d> Score(const Eigen::Matrix3d& H, double bound,
                                  std::vector<char>* mask = nullptr) const {
        Scored<Eigen::Matrix3d> s;
        s.model = H;
        s.score = 0.0;
        for (std::size_t k = 0; k < u1_.size(); ++k) {
            const double e2 = two_view::TransferErrorSquared(H, u1_[k], u2_[k]) * f2_px_ * f2_px_;
            const bool inlier = e2 < threshold_sq_;
            if (mask != nullptr) (*mask)[k] = inlier ? 1 : 0;
            s.score += inlier ? e2 : threshold_sq_;
            s.inliers += inlier ? 1 : 0;
            if (s.score > bound) {
                s.score = std::numeric_limits<double>::infinity();
                return s;
            }
        }
        return s;
    }

    // One least-squares refit on the inliers of `best`, kept when it explains them better.
    Scored<Eigen::Matrix3d> Refit(const Scored<Eigen::Matrix3d>& best) const {
        std::vector<char> mask(u1_.size(), 0);
        Score(best.model, std::numeric_limits<double>::infinity(), &mask);
        std::vector<Eigen::Vector3d> in1;
        std::vector<Eigen::Vector3d> in2;
        for (std::size_t k = 0; k < u1_.size(); ++k) {
            if (mask[k] == 0) continue;
            in1.push_back(u1_[k]);
            in2.push_back(u2_[k]);
        }
        Eigen::Matrix3d refit;
        if (!two_view::SolveHomography(in1, in2, &refit)) return best;
        const Scored<Eigen::Matrix3d> s = Score(refit, std::numeric_limits<double>::infinity());
        return s.score < best.score ? s : best;
    }

  private:
    std::vector<Eigen::Vector3d> u1_;
    std::vector<Eigen::Vector3d> u2_;
    double f2_px_;
    double threshold_sq_;
};

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
    for (const int k : Spread(inliers, kMaxPoints)) {
        u1.push_back(model.NormalisedRay1(observations[static_cast<std::size_t>(k)]));
        u2.push_back(model.NormalisedRay2(observations[static_cast<std::size_t>(k)]));
    }
    const HomographyEstimator estimator(std::move(u1), std::move(u2), model.FocalLength2Px(),
                                        threshold_px);
    RansacOptions options;
    options.confidence = kConfidence;
    options.min_iterations = kMinIterations;
    options.max_iterations = kMaxIterations;
    options.seed = seed;
    // Only a homography with more than kPlanarInlierRatio of the points matters: stop once
    // such a one would surely have been drawn, even when none was found.
    RansacLoop loop;
    loop.assumed_inliers =
        static_cast<int>(std::ceil(kPlanarInlierRatio * static_cast<double>(estimator.Size())));
    const RansacReport<Eigen::Matrix3d> report = LoRansac(estimator, options, loop);
    if (!report.found || report.best.inliers < HomographyEstimator::kSampleSize) return check;
    const Scored<Eigen::Matrix3d> best = estimator.Refit(report.best);
    check.found = true;
    check.inliers = best.inliers;
    check.inlier_ratio = static_cast<double>(best.inliers) / static_cast<double>(estimator.Size());
    check.rotation_deviation = two_view::PureRotationDeviation(best.model);
    return check;
}

}  // namespace ro
