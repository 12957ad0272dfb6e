// The homography check.
#include "robust_orientation/planarity.h"

#include <cmath>
#include <limits>

#include "robust_orientation/lo_ransac.h"
#include "two_view/homography.h"
#include "two_view/sampson.h"

namespace ro {
namespace {

constexpr int kMinIterations = 50;
constexpr int kMaxIterations = 1000;
constexpr double kConfidence = 0.999;
constexpr std::size_t kMaxPoints = 500;

// Homographies on the transfer error into photograph 2, in pixels: the focal length in
// pixels scales it, or, for a camera that is not plain, each point's metric of pixels on
// the normalised plane (the inverse of CoplanarityModel's NormalisedMetric2).
class HomographyEstimator {
  public:
    using Model = Eigen::Matrix3d;
    static constexpr int kSampleSize = 4;

    HomographyEstimator(std::vector<Eigen::Vector3d> u1, std::vector<Eigen::Vector3d> u2,
                        double f2_px, double threshold_px,
                        std::vector<two_view::SampsonMetric> pixel_metric2)
        : u1_(std::move(u1)),
          u2_(std::move(u2)),
          pixel_metric2_(std::move(pixel_metric2)),
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
            const double e2 = ErrorSquared(H, k);
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
    double ErrorSquared(const Eigen::Matrix3d& H, std::size_t k) const {
        if (pixel_metric2_.empty()) {
            return two_view::TransferErrorSquared(H, u1_[k], u2_[k]) * f2_px_ * f2_px_;
        }
        const Eigen::Vector3d y = H * u1_[k];
        if (y.z() == 0.0) return std::numeric_limits<double>::infinity();
        const double e2 = pixel_metric2_[k].Of(
            Eigen::Vector3d(y.x() / y.z() - u2_[k].x(), y.y() / y.z() - u2_[k].y(), 0.0));
        return std::isfinite(e2) ? e2 : std::numeric_limits<double>::infinity();
    }

    std::vector<Eigen::Vector3d> u1_;
    std::vector<Eigen::Vector3d> u2_;
    std::vector<two_view::SampsonMetric> pixel_metric2_;  // empty: the focal length scales
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
    std::vector<two_view::SampsonMetric> pixel_metric2;
    for (const int k : Spread(inliers, kMaxPoints)) {
        const Observation& o = observations[static_cast<std::size_t>(k)];
        u1.push_back(model.NormalisedRay1(o));
        u2.push_back(model.NormalisedRay2(o));
        if (!model.UsesMetrics()) continue;
        // Square pixels per unit of the normalised plane: the inverse of the metric.
        const two_view::SampsonMetric w = model.NormalisedMetric2(o);
        const double det = w.xx * w.yy - w.xy * w.xy;
        pixel_metric2.push_back({w.yy / det, -w.xy / det, w.xx / det});
    }
    const HomographyEstimator estimator(std::move(u1), std::move(u2), model.FocalLength2Px(),
                                        threshold_px, std::move(pixel_metric2));
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
