// The orientation pipeline: robust loop, homography check, adjustment with data snooping,
// precision, geometry and warnings.
#include "robust_orientation/estimate.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

#include "robust_orientation/adjustment.h"
#include "robust_orientation/chi_square.h"
#include "robust_orientation/geometry.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/planarity.h"
#include "robust_orientation/ransac.h"
#include "robust_orientation/warnings.h"
#include "two_view/essential.h"

namespace ro {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kChiSquareAlpha = 0.05;
// z of the power 1 - beta = 80 % that the minimal detectable bias is defined for.
constexpr double kPowerQuantile = 0.8416212335729143;
// The homography check draws from its own stream, so that it does not shift the robust
// loop's samples.
constexpr std::uint64_t kHomographyStream = 0x5851f42d4c957f2dULL;

// The points' positions, before anything is estimated.
void InitialisePoints(std::span<const TiePoint> tie_points,
                      std::span<const Observation> observations, OrientationResult* result) {
    result->points.resize(tie_points.size());
    for (std::size_t k = 0; k < tie_points.size(); ++k) {
        PointResult& p = result->points[k];
        const TiePoint& t = tie_points[k];
        p.match = static_cast<int>(k) + 1;
        p.row1_px = t.row1_px;
        p.col1_px = t.col1_px;
        p.row2_px = t.row2_px;
        p.col2_px = t.col2_px;
        p.x1_um = observations[k].x1_m * 1e6;
        p.y1_um = observations[k].y1_m * 1e6;
        p.x2_um = observations[k].x2_m * 1e6;
        p.y2_um = observations[k].y2_m * 1e6;
        p.ratio = t.ratio;
        p.status = PointStatus::ransac_outlier;
        p.sampson_px = kNaN;
        p.y_parallax_px = kNaN;
        p.w = kNaN;
        p.redundancy = kNaN;
        p.mdb_px = kNaN;
    }
}

OrientationResult Refuse(OrientationResult result, Outcome outcome, std::string reason) {
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

double Median(std::vector<double> values) {
    if (values.empty()) return kNaN;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

ChiSquareTest TestSigma0(double sigma0_px, double sigma_px, int dof) {
    ChiSquareTest test;
    test.dof = dof;
    test.alpha = kChiSquareAlpha;
    test.ratio = (sigma0_px * sigma0_px) / (sigma_px * sigma_px);
    test.lower = ChiSquareQuantile(kChiSquareAlpha / 2.0, dof) / dof;
    test.upper = ChiSquareQuantile(1.0 - kChiSquareAlpha / 2.0, dof) / dof;
    test.accepted = test.ratio >= test.lower && test.ratio <= test.upper;
    return test;
}

// Residuals and y-parallaxes of every finite point at the final elements; statistics of
// the adjusted ones.
void FillPoints(const CoplanarityModel& model, std::span<const Observation> observations,
                const Adjustment& adjustment, const EstimationOptions& options,
                OrientationResult* result) {
    const Elements& e = adjustment.elements;
    const Eigen::Matrix3d M = AttitudeMatrix(e.omega_rad, e.phi_rad, e.kappa_rad);
    const Eigen::Vector3d B = BaseVector(e);
    for (std::size_t k = 0; k < observations.size(); ++k) {
        if (!observations[k].IsFinite()) continue;
        result->points[k].sampson_px = model.SampsonPx(M, B, observations[k]);
        result->points[k].y_parallax_px = model.YParallaxPx(M, B, observations[k]);
    }
    // The adjustment settled the inliers anew: what it did not use, the robust stage rejected.
    for (PointResult& p : result->points) p.status = PointStatus::ransac_outlier;
    for (const int k : adjustment.snooped) {
        result->points[static_cast<std::size_t>(k)].status = PointStatus::snooped;
    }
    const double delta0 = options.critical_w + kPowerQuantile;
    AdjustmentSummary& a = result->adjustment;
    double parallax_sq = 0.0;
    std::vector<double> mdb;
    for (std::size_t i = 0; i < adjustment.used.size(); ++i) {
        const auto k = static_cast<std::size_t>(adjustment.used[i]);
        PointResult& p = result->points[k];
        p.status = PointStatus::inlier;
        p.w = adjustment.w[i];
        p.redundancy = adjustment.redundancy[i];
        // The bias is detectable in d; a y-parallax is sqrt(2) times d in the normal case.
        p.mdb_px = p.redundancy > 0.0
                       ? std::sqrt(2.0) * delta0 * options.sigma_px / std::sqrt(p.redundancy)
                       : std::numeric_limits<double>::infinity();
        mdb.push_back(p.mdb_px);
        parallax_sq += p.y_parallax_px * p.y_parallax_px;
        if (std::fabs(p.y_parallax_px) > std::fabs(a.y_parallax_max_px) ||
            a.y_parallax_max_match == 0) {
            a.y_parallax_max_px = p.y_parallax_px;
            a.y_parallax_max_match = p.match;
        }
    }
    a.y_parallax_rms_px = std::sqrt(parallax_sq / static_cast<double>(adjustment.used.size()));
    a.mdb_median_px = Median(mdb);
    a.mdb_max_px = mdb.empty() ? kNaN : *std::max_element(mdb.begin(), mdb.end());
}

void FillAdjustment(const Camera& camera1, const Adjustment& adjustment,
                    const EstimationOptions& options, OrientationResult* result) {
    AdjustmentSummary& a = result->adjustment;
    a.iterations = adjustment.iterations;
    a.converged = adjustment.converged;
    a.rejected = static_cast<int>(adjustment.snooped.size());
    a.critical_w = options.critical_w;
    a.points_used = static_cast<int>(adjustment.used.size());
    a.redundancy = a.points_used - 5;
    a.sigma0_px = adjustment.sigma0_px;
    a.sigma0_um = adjustment.sigma0_px * camera1.PixelSizeUm();
    a.sigma_apriori_px = options.sigma_px;
    a.chi2 = TestSigma0(a.sigma0_px, options.sigma_px, a.redundancy);

    Precision& p = result->precision;
    p.covariance = adjustment.sigma0_px * adjustment.sigma0_px * adjustment.cofactor;
    for (int k = 0; k < 5; ++k)
        p.sigma[static_cast<std::size_t>(k)] = std::sqrt(p.covariance(k, k));
    p.correlation = CorrelationOf(p.covariance);
    p.condition_number = ConditionNumber(p.correlation);
}

// The pose of the final elements, its base pointing the way the robust loop found it.
CvPose FinalPose(const Elements& elements, const Eigen::Vector3d& base_unit) {
    CvPose pose = CvPoseFromElements(elements);
    if (base_unit.x() < 0.0) pose.t = -pose.t;
    return pose;
}

void FillGeometry(const CoplanarityModel& model, std::span<const TiePoint> tie_points,
                  std::span<const Observation> observations, const Adjustment& adjustment,
                  const HomographyCheck& homography, OrientationResult* result) {
    GeometryFigures& g = result->geometry;
    g.median_intersection_angle_rad =
        MedianIntersectionAngle(model, observations, adjustment.used, adjustment.elements);
    g.h_over_e_inlier_ratio = homography.inlier_ratio;
    g.homography_inliers = homography.inliers;
    g.rotation_only_measure = homography.rotation_deviation;
    const GruberRegions regions = CountGruberRegions(tie_points, adjustment.used);
    g.gruber_counts = regions.counts;
    g.gruber_box_px = {regions.col_min_px, regions.row_min_px, regions.col_max_px,
                       regions.row_max_px};
    g.gruber_regions_covered =
        static_cast<int>(std::count_if(g.gruber_counts.begin(), g.gruber_counts.end(),
                                       [](int c) { return c >= kMinPointsPerGruberRegion; }));
    const Eigen::Vector3d B = BaseVector(adjustment.elements).normalized();
    g.base_unit = g.base_unit.x() < 0.0 ? Eigen::Vector3d(-B) : B;
    g.configuration = Configuration::general;
    if (homography.found && homography.inlier_ratio > kPlanarInlierRatio) {
        g.configuration = homography.rotation_deviation < kRotationOnlyDeviation
                              ? Configuration::rotation_only
                              : Configuration::planar;
    }
    if (g.configuration == Configuration::general &&
        std::fabs(g.base_unit.x()) < kForwardMotionBaseX) {
        g.configuration = Configuration::forward_motion;
    }
}

// The points that the elements fit within the threshold, in front of both cameras.
std::vector<int> InliersOf(const CoplanarityModel& model, std::span<const Observation> observations,
                           double threshold_px, const Elements& elements,
                           const Eigen::Vector3d& base_unit) {
    const Eigen::Matrix3d M =
        AttitudeMatrix(elements.omega_rad, elements.phi_rad, elements.kappa_rad);
    const Eigen::Vector3d B = BaseVector(elements);
    const CvPose pose = FinalPose(elements, base_unit);
    const two_view::RelativePose cv{pose.R, pose.t};
    std::vector<int> inliers;
    for (std::size_t k = 0; k < observations.size(); ++k) {
        const Observation& o = observations[k];
        if (!o.IsFinite()) continue;
        if (!(std::fabs(model.SampsonPx(M, B, o)) < threshold_px)) continue;
        if (!two_view::InFrontOfBothCameras(cv, model.NormalisedRay1(o), model.NormalisedRay2(o)))
            continue;
        inliers.push_back(static_cast<int>(k));
    }
    return inliers;
}

void FillSecond(const RansacResult& ransac, OrientationResult* result) {
    if (!ransac.second_found) return;
    SecondSolution& s = result->second;
    s.found = true;
    s.score_increase = (ransac.second.score - ransac.best.score) /
                       (result->adjustment.sigma_apriori_px * result->adjustment.sigma_apriori_px);
    s.rotation_difference_rad = RotationDistance(ransac.second.pose.R, ransac.best.pose.R);
    s.inliers = ransac.second.inliers;
    s.elements = ElementsFromCvPose(ransac.second.pose);
}

}  // namespace

double EffectiveThresholdPx(const EstimationOptions& options) {
    return options.threshold_px > 0.0 ? options.threshold_px : kThresholdSigmas * options.sigma_px;
}

std::string CheckOptions(const EstimationOptions& options) {
    if (!(options.sigma_px > 0.0) || !std::isfinite(options.sigma_px)) {
        return "the a-priori sigma must be a positive number of pixels";
    }
    if (!(options.threshold_px >= 0.0) || !std::isfinite(options.threshold_px)) {
        return "the threshold must be a positive number of pixels";
    }
    if (!(options.confidence > 0.0 && options.confidence < 1.0)) {
        return "the confidence must lie strictly between 0 and 1";
    }
    if (options.min_iterations < 1 || options.max_iterations < options.min_iterations) {
        return "the iteration limits must satisfy 1 <= minimum <= maximum";
    }
    if (!(options.critical_w > 0.0) || !std::isfinite(options.critical_w)) {
        return "the critical value of the w-test must be positive";
    }
    return {};
}

OrientationResult EstimateOrientation(std::span<const TiePoint> tie_points, const Camera& camera1,
                                      const Camera& camera2, const EstimationOptions& options) {
    OrientationResult result;
    result.matches = static_cast<int>(tie_points.size());
    const std::vector<Observation> observations = ToObservations(tie_points, camera1, camera2);
    InitialisePoints(tie_points, observations, &result);
    RobustSummary& robust = result.robust;
    robust.threshold_px = EffectiveThresholdPx(options);
    robust.confidence = options.confidence;
    robust.min_iterations = options.min_iterations;
    robust.max_iterations = options.max_iterations;
    result.adjustment.sigma_apriori_px = options.sigma_px;
    result.adjustment.critical_w = options.critical_w;
    if (const std::string problem = CheckOptions(options); !problem.empty()) {
        return Refuse(std::move(result), Outcome::too_few_matches, problem);
    }
    if (!IsUsable(camera1) || !IsUsable(camera2)) {
        return Refuse(std::move(result), Outcome::too_few_matches, "a camera is not usable");
    }

    const CoplanarityModel model(camera1, camera2);
    robust.candidates =
        static_cast<int>(std::count_if(observations.begin(), observations.end(),
                                       [](const Observation& o) { return o.IsFinite(); }));
    if (robust.candidates < kMinAdjustmentPoints) {
        return Refuse(std::move(result), Outcome::too_few_matches,
                      "only " + std::to_string(robust.candidates) +
                          " tie points with finite positions; at least " +
                          std::to_string(kMinAdjustmentPoints) + " are needed");
    }
    RansacSettings settings;
    settings.threshold_px = robust.threshold_px;
    settings.confidence = options.confidence;
    settings.min_iterations = options.min_iterations;
    settings.max_iterations = options.max_iterations;
    settings.seed = options.seed;
    settings.sigma_px = options.sigma_px;
    settings.threads = options.threads;
    const RansacResult ransac = FindRelativePose(model, observations, settings);
    robust.iterations = ransac.iterations;
    robust.local_optimisations = ransac.local_optimisations;
    robust.inliers = ransac.found ? ransac.best.inliers : 0;
    if (!ransac.found) {
        return Refuse(std::move(result), Outcome::no_model,
                      "no sample of five tie points gave an orientation");
    }
    std::vector<int> inliers;
    for (std::size_t k = 0; k < ransac.inlier.size(); ++k) {
        if (ransac.inlier[k] != 0) inliers.push_back(static_cast<int>(k));
    }
    for (const int k : inliers)
        result.points[static_cast<std::size_t>(k)].status = PointStatus::inlier;
    if (static_cast<int>(inliers.size()) < kMinAdjustmentPoints) {
        return Refuse(std::move(result), Outcome::too_few_inliers,
                      "the best orientation has only " + std::to_string(inliers.size()) +
                          " inliers; at least " + std::to_string(kMinAdjustmentPoints) +
                          " are needed");
    }

    Eigen::Vector3d base_unit;
    const Elements start = ElementsFromCvPose(ransac.best.pose, &base_unit);
    result.geometry.base_unit = base_unit;
    result.elements = start;
    result.cv_pose = ransac.best.pose;
    const HomographyCheck homography = CheckHomography(
        model, observations, inliers, robust.threshold_px, options.seed ^ kHomographyStream);

    AdjustmentSettings adjust_settings;
    adjust_settings.sigma_px = options.sigma_px;
    adjust_settings.critical_w = options.critical_w;
    adjust_settings.threads = options.threads;
    const Eigen::Vector3d base_sign = result.geometry.base_unit;
    const InlierSelection reselect = [&](const Elements& elements) {
        return InliersOf(model, observations, robust.threshold_px, elements, base_sign);
    };
    const Adjustment adjustment =
        AdjustWithSnooping(model, observations, inliers, start, adjust_settings, reselect);
    if (!adjustment.ok) {
        return Refuse(std::move(result), Outcome::adjustment_failed,
                      "the least-squares adjustment gave no finite, determined solution");
    }
    result.elements = adjustment.elements;
    FillGeometry(model, tie_points, observations, adjustment, homography, &result);
    result.cv_pose = FinalPose(adjustment.elements, result.geometry.base_unit);
    FillAdjustment(camera1, adjustment, options, &result);
    FillPoints(model, observations, adjustment, options, &result);
    FillSecond(ransac, &result);
    result.warnings =
        CollectWarnings(result, adjustment.snooping_limit_reached, adjustment.converged);
    result.outcome = Outcome::oriented;
    if (result.geometry.configuration == Configuration::rotation_only) {
        result.outcome = Outcome::no_parallax;
        result.reason =
            "the photographs differ by a rotation only (no parallax): the base is undefined";
    }
    return result;
}

}  // namespace ro
