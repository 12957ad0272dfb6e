// Everything an orientation run finds out: the five elements with their precision, the
// robust loop's and the adjustment's figures, geometry checks, warnings and one record per
// tie point. Angles are radians here; reports convert them to degrees.
#pragma once

#include <Eigen/Core>
#include <array>
#include <string>
#include <vector>

#include "robust_orientation/elements.h"

namespace ro {

// How a run ended. Anything but `oriented` means no reliable orientation was found.
enum class Outcome {
    oriented,
    too_few_matches,    // not enough tie points to start
    no_model,           // the robust loop found no model with enough inliers
    too_few_inliers,    // too few inliers to adjust (or left after data snooping)
    no_parallax,        // the photographs differ by a rotation only: the base is undefined
    adjustment_failed,  // the least-squares adjustment did not give finite elements
    invalid_options,    // the estimation options cannot be used (CheckOptions)
    invalid_camera,     // a camera is not usable (IsUsable)
    ambiguous,          // two solutions, more than their sigmas apart, fit equally well
};
const char* OutcomeCode(Outcome outcome);
// Whether a result with this outcome carries an adjusted orientation with its precision:
// an orientation, or an ambiguous one shown beside the solution it cannot be told from.
inline bool HasAdjustedOrientation(Outcome outcome) {
    return outcome == Outcome::oriented || outcome == Outcome::ambiguous;
}

// What kind of two-view geometry the inliers show.
enum class Configuration {
    general,         // an essential matrix explains the inliers, a homography does not
    planar,          // a homography explains them as well: near-planar scene
    rotation_only,   // a homography that is a pure rotation explains them: no base
    forward_motion,  // the base runs almost along the viewing direction: epipole in the photograph
};
const char* ConfigurationCode(Configuration configuration);

enum class PointStatus {
    inlier,          // used in the final adjustment
    ransac_outlier,  // rejected by the robust loop (or not usable: a non-finite position)
    snooped,         // rejected by data snooping in the adjustment
};
const char* PointStatusCode(PointStatus status);

struct PointResult {
    int match = 0;  // 1-based number of the tie point
    double row1_px = 0.0;
    double col1_px = 0.0;
    double row2_px = 0.0;
    double col2_px = 0.0;
    double x1_um = 0.0;  // image-plane coordinates in both photographs (y up)
    double y1_um = 0.0;
    double x2_um = 0.0;
    double y2_um = 0.0;
    double ratio = 0.0;  // descriptor distance ratio of the match, NaN when unknown
    PointStatus status = PointStatus::ransac_outlier;
    // At the final elements: Sampson-normalised coplanarity residual and y-parallax.
    double sampson_px = 0.0;
    double y_parallax_px = 0.0;
    // For points of the last adjustment (NaN otherwise): normalised residual of Baarda's
    // w-test, redundancy number, minimal detectable bias in y-parallax pixels.
    double w = 0.0;
    double redundancy = 0.0;
    double mdb_px = 0.0;
};

struct RobustSummary {
    double threshold_px = 0.0;
    double confidence = 0.0;
    int min_iterations = 0;
    int max_iterations = 0;
    int iterations = 0;
    int local_optimisations = 0;
    int candidates = 0;  // tie points with finite positions
    int inliers = 0;
};

// Two-sided chi-square test of sigma0 against the a-priori sigma: the ratio
// sigma0^2 / sigma^2 must lie in [lower, upper], the chi-square(dof) quantiles over dof.
struct ChiSquareTest {
    double ratio = 0.0;
    double lower = 0.0;
    double upper = 0.0;
    int dof = 0;
    double alpha = 0.05;
    bool accepted = false;
};

struct AdjustmentSummary {
    int iterations = 0;      // solver iterations, all adjustments together
    bool converged = false;  // the last round ended at a minimum, not at its iteration limit
    int rejected = 0;        // points removed by data snooping
    double critical_w = 0.0;
    int points_used = 0;
    int redundancy = 0;
    double sigma0_px = 0.0;
    double sigma0_um = 0.0;  // in pixels of photograph 1
    double sigma_apriori_px = 0.0;
    ChiSquareTest chi2;
    double y_parallax_rms_px = 0.0;
    double y_parallax_max_px = 0.0;  // largest absolute y-parallax
    int y_parallax_max_match = 0;    // its tie point (1-based)
    double mdb_median_px = 0.0;      // minimal detectable bias in y-parallax pixels
    double mdb_max_px = 0.0;
    // Condition number of the normal matrix of the last round, scaled to a unit diagonal
    // (adjustment.h); above kMaxNormalCondition the adjustment fails.
    double normal_condition = 0.0;
};

// A base whose X component is below this share of its length has no usable elements by and
// bz (bx = 1 would divide by almost nothing): they are left undefined (NaN), and the base
// direction and the rotation state the orientation.
inline constexpr double kMinBaseXForElements = 0.1;

// Precision of the adjusted orientation. The elements (by, bz, omega, phi, kappa), angles
// in radians, by variance propagation from the adjustment's cofactor matrix; by and bz with
// their rows and columns are NaN when the elements are not defined.
//
// `sigma`, `covariance`, `base_sigma` and `rotation_sigma_rad` are a posteriori: the
// cofactor matrix scaled by sigma0^2, the variance of unit weight the adjustment found.
// `sigma_a_priori` scales it by the a-priori sigma^2 instead (what the elements' precision
// would be if the image coordinates were exactly as precise as assumed).
struct Precision {
    bool elements_defined = true;  // |bx| / |B| >= kMinBaseXForElements
    std::array<double, 5> sigma{};
    std::array<double, 5> sigma_a_priori{};
    Matrix5d covariance = Matrix5d::Zero();
    Matrix5d correlation = Matrix5d::Identity();
    double condition_number = 0.0;  // of the correlation matrix of the defined elements
    // The unit base (model frame, camera 1 to camera 2): standard deviations of its three
    // components. The attitude of camera 2: standard deviations of small rotations about
    // the model axes x, y, z, radians.
    std::array<double, 3> base_sigma{};
    std::array<double, 3> rotation_sigma_rad{};
};

// Fewest points a von Gruber region needs to count as covered.
inline constexpr int kMinPointsPerGruberRegion = 3;

struct GeometryFigures {
    // Whether the figures below were computed: they need an adjusted orientation, so a run
    // that stopped before the adjustment succeeded has none (every outcome but oriented and
    // no_parallax).
    bool computed = false;
    double median_intersection_angle_rad = 0.0;
    double h_over_e_inlier_ratio = 0.0;
    int homography_inliers = 0;
    double rotation_only_measure = 0.0;  // 0 for a homography that is a pure rotation
    // Inliers in the six von Gruber regions of photograph 1 (geometry.h): two along the
    // base and three across it, gruber_columns x gruber_rows (2 x 3 for a base along the
    // columns, 3 x 2 for one along the rows), counted row by row from the top left.
    std::array<int, 6> gruber_counts{};
    int gruber_columns = 2;
    int gruber_rows = 3;
    int gruber_regions_covered = 0;
    // The regions' box in photograph 1: columns and rows from (min) to (max), pixels.
    std::array<double, 4> gruber_box_px{};                 // col_min, row_min, col_max, row_max
    Eigen::Vector3d base_unit = Eigen::Vector3d::UnitX();  // model frame, camera 1 -> 2
    Configuration configuration = Configuration::general;
};

// A warning with a stable code (e.g. "W-CORR-BY-OMEGA"), a sentence and the figure that
// triggered it.
struct Warning {
    std::string code;
    std::string message;
    double value = 0.0;
};

// A different adjusted solution nearly as good as the chosen one (candidates.h).
struct SecondSolution {
    bool found = false;
    // How much its robust score exceeds the chosen one's, in units of sigma^2 (>= 0): a
    // chi-square-like figure, below about 20 for a difference that noise could make.
    double score_increase = 0.0;
    double rotation_difference_rad = 0.0;
    int inliers = 0;
    Elements elements;
    double base_difference_rad = 0.0;  // between the base directions, whatever their sign
    // The largest difference of a rotation about a model axis or a base component, in the
    // larger of the two solutions' standard deviations (> 1).
    double sigmas_apart = 0.0;
};

struct OrientationResult {
    Outcome outcome = Outcome::too_few_matches;
    std::string reason;  // for any outcome but `oriented`: why, in one sentence
    int matches = 0;
    Orientation orientation;  // attitude of camera 2 and unit base, camera 1 to camera 2
    Elements elements;        // by and bz NaN when !precision.elements_defined
    CvPose cv_pose;           // R from camera 1 to camera 2, t of unit length
    RobustSummary robust;
    AdjustmentSummary adjustment;
    Precision precision;
    GeometryFigures geometry;
    SecondSolution second;
    std::vector<Warning> warnings;
    std::vector<PointResult> points;  // one per tie point, in tie-point order
};

// The covariance with the angle rows and columns in degrees (the report's units).
Matrix5d CovarianceInDegrees(const Matrix5d& covariance_rad);

// The names of the five elements in their order: by, bz, omega, phi, kappa.
inline constexpr std::array<const char*, 5> kElementNames = {"by", "bz", "omega", "phi", "kappa"};

}  // namespace ro
