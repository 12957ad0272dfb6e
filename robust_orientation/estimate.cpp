// The orientation pipeline: robust loop, homography check, adjustment with data snooping,
// precision, geometry and warnings.
#include "robust_orientation/estimate.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

#include "camera/distortion.h"
#include "robust_orientation/adjustment.h"
#include "robust_orientation/camera_frame.h"
#include "robust_orientation/candidates.h"
#include "robust_orientation/chi_square.h"
#include "robust_orientation/geometry.h"
#include "robust_orientation/observations.h"
#include "robust_orientation/planarity.h"
#include "robust_orientation/ransac.h"
#include "robust_orientation/warnings.h"

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

// Residuals and y-parallaxes of every finite point at the final orientation; statistics of
// the adjusted ones. Residuals and y-parallaxes are reported for the base turned towards
// positive X (the bx = 1 convention of the elements), whichever way camera 2 lies.
void FillPoints(const CoplanarityModel& model, std::span<const Observation> observations,
                const Adjustment& adjustment, const EstimationOptions& options,
                OrientationResult* result) {
    const Orientation& o = adjustment.orientation;
    const double sign = o.base.x() < 0.0 ? -1.0 : 1.0;
    const Eigen::Vector3d B = sign * o.base;
    const Eigen::Matrix3d G = CoplanarityMatrix(o.attitude, B);
    for (std::size_t k = 0; k < observations.size(); ++k) {
        if (!observations[k].IsFinite()) continue;
        result->points[k].sampson_px = model.SampsonPx(G, observations[k]);
        result->points[k].y_parallax_px = model.YParallaxPx(o.attitude, B, observations[k]);
    }
    // The adjustment settled the inliers anew: what it did not use, the robust stage rejected.
    for (PointResult& p : result->points) p.status = PointStatus::ransac_outlier;
    for (const int k : adjustment.snooped) {
        result->points[static_cast<std::size_t>(k)].status = PointStatus::snooped;
    }
    const double delta0 = options.adjustment.critical_w + kPowerQuantile;
    AdjustmentSummary& a = result->adjustment;
    double parallax_sq = 0.0;
    std::vector<double> mdb;
    for (std::size_t i = 0; i < adjustment.used.size(); ++i) {
        const auto k = static_cast<std::size_t>(adjustment.used[i]);
        PointResult& p = result->points[k];
        p.status = PointStatus::inlier;
        p.w = sign * adjustment.w[i];
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

void FillAdjustment(const Camera& camera1, const Adjustment& adjustment, const Precision& precision,
                    const EstimationOptions& options, OrientationResult* result) {
    AdjustmentSummary& a = result->adjustment;
    a.iterations = adjustment.iterations;
    a.converged = adjustment.converged;
    a.rejected = static_cast<int>(adjustment.snooped.size());
    a.critical_w = options.adjustment.critical_w;
    a.points_used = static_cast<int>(adjustment.used.size());
    a.redundancy = a.points_used - 5;
    a.sigma0_px = adjustment.sigma0_px;
    a.sigma0_um = adjustment.sigma0_px * camera1.PixelSizeUm();
    a.sigma_apriori_px = options.sigma_px;
    a.chi2 = TestSigma0(a.sigma0_px, options.sigma_px, a.redundancy);
    a.normal_condition = adjustment.normal_condition;
    result->precision = precision;
}

void FillGeometry(const CoplanarityModel& model, const Camera& camera1,
                  std::span<const TiePoint> tie_points, std::span<const Observation> observations,
                  const Adjustment& adjustment, const HomographyCheck& homography,
                  OrientationResult* result) {
    GeometryFigures& g = result->geometry;
    const Orientation& o = adjustment.orientation;
    g.computed = true;
    g.median_intersection_angle_rad =
        MedianIntersectionAngle(model, observations, adjustment.used, o);
    g.h_over_e_inlier_ratio = homography.inlier_ratio;
    g.homography_inliers = homography.inliers;
    g.rotation_only_measure = homography.rotation_deviation;
    const GruberRegions regions = CountGruberRegions(tie_points, adjustment.used, camera1, o.base);
    g.gruber_counts = regions.counts;
    g.gruber_columns = regions.columns;
    g.gruber_rows = regions.rows;
    g.gruber_box_px = {regions.col_min_px, regions.row_min_px, regions.col_max_px,
                       regions.row_max_px};
    g.gruber_regions_covered =
        static_cast<int>(std::count_if(g.gruber_counts.begin(), g.gruber_counts.end(),
                                       [](int c) { return c >= kMinPointsPerGruberRegion; }));
    g.base_unit = o.base;
    g.configuration = Configuration::general;
    if (homography.found && homography.inlier_ratio > kPlanarInlierRatio) {
        g.configuration = homography.rotation_deviation < kRotationOnlyDeviation
                              ? Configuration::rotation_only
                              : Configuration::planar;
    }
    if (g.configuration == Configuration::general && IsForwardMotion(o.base)) {
        g.configuration = Configuration::forward_motion;
    }
}

// Each stage's status mapped to the run's outcome and the sentence that explains it.
OrientationResult Refuse(OrientationResult result, Outcome outcome, std::string reason) {
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

Outcome OutcomeOf(RansacStatus status) {
    return status == RansacStatus::no_model ? Outcome::no_model : Outcome::too_few_matches;
}

Outcome OutcomeOf(AdjustmentStatus status) {
    return status == AdjustmentStatus::too_few_points ? Outcome::too_few_inliers
                                                      : Outcome::adjustment_failed;
}

}  // namespace

std::string CheckOptions(const EstimationOptions& options) {
    if (!(options.sigma_px > 0.0) || !std::isfinite(options.sigma_px)) {
        return "the a-priori sigma must be a positive number of pixels";
    }
    const RansacOptions& r = options.ransac;
    if (!(r.threshold_px >= 0.0) || !std::isfinite(r.threshold_px)) {
        return "the threshold must be a positive number of pixels";
    }
    if (!(r.confidence > 0.0 && r.confidence < 1.0)) {
        return "the confidence must lie strictly between 0 and 1";
    }
    if (r.min_iterations < 1 || r.max_iterations < r.min_iterations) {
        return "the iteration limits must satisfy 1 <= minimum <= maximum";
    }
    if (!(options.adjustment.critical_w > 0.0) || !std::isfinite(options.adjustment.critical_w)) {
        return "the critical value of the w-test must be positive";
    }
    if (options.adjustment.max_iterations < 1) {
        return "the adjustment needs at least one iteration";
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
    robust.confidence = options.ransac.confidence;
    robust.min_iterations = options.ransac.min_iterations;
    robust.max_iterations = options.ransac.max_iterations;
    result.adjustment.sigma_apriori_px = options.sigma_px;
    result.adjustment.critical_w = options.adjustment.critical_w;
    if (const std::string problem = CheckOptions(options); !problem.empty()) {
        return Refuse(std::move(result), Outcome::invalid_options, problem);
    }
    for (const auto& [number, camera] : {std::pair{1, &camera1}, std::pair{2, &camera2}}) {
        // A camera file states no image size: the distortion must be undone over the frame
        // the principal point implies.
        const FrameSize frame = ImpliedFrame(*camera);
        std::string problem = CameraProblem(*camera);
        const bool checked = number == 2 && camera2 == camera1;
        if (problem.empty() && !checked) {
            problem = DistortionProblem(*camera, frame.columns_px, frame.rows_px);
        }
        if (!problem.empty()) {
            return Refuse(std::move(result), Outcome::invalid_camera,
                          "the camera of photograph " + std::to_string(number) +
                              " is not usable: " + problem);
        }
    }
    // Tie points that do not fit a camera are warned about whatever the outcome.
    result.warnings = CameraFrameWarnings(tie_points, observations, camera1, camera2);

    const CoplanarityModel model(camera1, camera2);
    robust.candidates =
        static_cast<int>(std::count_if(observations.begin(), observations.end(),
                                       [](const Observation& o) { return o.IsFinite(); }));
    if (robust.candidates < kMinAdjustmentPoints) {
        return Refuse(std::move(result), Outcome::too_few_matches,
                      "only " + std::to_string(robust.candidates) +
                          (robust.candidates == 1 ? " tie point" : " tie points") +
                          " with finite positions; at least " +
                          std::to_string(kMinAdjustmentPoints) + " are needed");
    }
    const RansacResult ransac = FindRelativePose(model, observations, options);
    robust.iterations = ransac.iterations;
    // On weak data the loop went on to the careful floor: the minimum it kept to.
    if (ransac.careful) robust.min_iterations = options.ransac.careful_min_iterations;
    robust.local_optimisations = ransac.local_optimisations;
    robust.inliers = ransac.status == RansacStatus::found ? ransac.best.inliers : 0;
    if (ransac.status != RansacStatus::found) {
        return Refuse(std::move(result), OutcomeOf(ransac.status),
                      "no sample of five tie points gave an orientation");
    }
    const std::vector<int>& inliers = ransac.inliers;
    for (const int k : inliers)
        result.points[static_cast<std::size_t>(k)].status = PointStatus::inlier;
    if (static_cast<int>(inliers.size()) < kMinAdjustmentPoints) {
        return Refuse(std::move(result), Outcome::too_few_inliers,
                      "the best orientation has only " + std::to_string(inliers.size()) +
                          " inliers; at least " + std::to_string(kMinAdjustmentPoints) +
                          " are needed");
    }

    const Orientation start = OrientationFromCvPose(ransac.best.model);
    result.orientation = start;
    result.geometry.base_unit = start.base;
    result.elements = ElementsOf(start);
    result.cv_pose = ransac.best.model;
    const HomographyCheck homography = CheckHomography(
        model, observations, inliers, robust.threshold_px, options.ransac.seed ^ kHomographyStream);

    const InlierSelection reselect = [&](const Orientation& orientation) {
        return FitOf(model, observations, robust.threshold_px, orientation).inliers;
    };
    const CandidateChoice choice = ChooseCandidate(model, observations, ransac.candidates, inliers,
                                                   robust.threshold_px, options, reselect);
    const Adjustment& adjustment = choice.chosen;
    if (!adjustment.Adjusted()) {
        return Refuse(
            std::move(result), OutcomeOf(adjustment.status),
            adjustment.status == AdjustmentStatus::failed
                ? "the least-squares adjustment failed: " + adjustment.failure
                : "fewer than " + std::to_string(kMinAdjustmentPoints) + " inliers to adjust");
    }
    result.orientation = adjustment.orientation;
    result.cv_pose = CvPoseFromOrientation(adjustment.orientation);
    FillGeometry(model, camera1, tie_points, observations, adjustment, homography, &result);
    FillAdjustment(camera1, adjustment, choice.precision, options, &result);
    result.elements = ElementsOf(adjustment.orientation);
    if (!result.precision.elements_defined) result.elements.by = result.elements.bz = kNaN;
    FillPoints(model, observations, adjustment, options, &result);
    result.second = choice.second;
    result.outcome = Outcome::oriented;
    if (choice.ambiguous) {
        result.outcome = Outcome::ambiguous;
        result.reason = AmbiguityReason(result.elements, result.second);
    }
    if (result.geometry.configuration == Configuration::rotation_only) {
        result.outcome = Outcome::no_parallax;
        result.reason =
            "the photographs differ by a rotation only (no parallax): the base is undefined";
    }
    const std::vector<Warning> collected =
        CollectWarnings(result, adjustment.snooping_limit_reached, adjustment.converged);
    result.warnings.insert(result.warnings.end(), collected.begin(), collected.end());
    return result;
}

}  // namespace ro
