#include "sample_result.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ro::PointResult Point(int match, ro::PointStatus status, double w, double redundancy) {
    ro::PointResult p;
    p.match = match;
    p.row1_px = 100.25 * match;
    p.col1_px = 200.5 * match;
    p.row2_px = 101.0 * match;
    p.col2_px = 190.75 * match;
    p.x1_um = -5331.7 + match;
    p.y1_um = 3044.1 - match;
    p.x2_um = -5400.2 + match;
    p.y2_um = 3037.9 - match;
    p.ratio = 0.25 * match;
    p.status = status;
    p.sampson_px = 0.125 * match;
    p.y_parallax_px = -0.1875 * match;
    p.w = w;
    p.redundancy = redundancy;
    p.mdb_px = std::isnan(redundancy) ? kNaN : 2.875;
    return p;
}

}  // namespace

double Rad(double degrees) { return degrees * std::numbers::pi / 180.0; }

orient::RunInfo SampleRun() {
    orient::RunInfo run;
    run.keys1_file = "img1.key";
    run.keys2_file = "img2.key";
    run.keypoints1 = 2412;
    run.keypoints2 = 2630;
    run.descriptor_length = 128;
    run.camera1 = {ro::Camera{0.0132, 135135.1351, 959.5, 511.5, 0.0}, ""};
    run.camera2 = run.camera1;
    run.ratio = {6, 10};
    run.estimation.seed = 42;
    run.points_file = "points.csv";
    return run;
}

ro::OrientationResult SampleOrientedResult() {
    ro::OrientationResult r;
    r.outcome = ro::Outcome::oriented;
    r.matches = 612;
    r.elements = {0.01234, -0.03456, Rad(0.4567), Rad(-1.2345), Rad(12.3456)};
    r.cv_pose = ro::CvPoseFromElements(r.elements);
    r.robust = {1.5, 0.9999, 100, 10000, 187, 12, 612, 571};
    ro::AdjustmentSummary& a = r.adjustment;
    a.iterations = 4;
    a.converged = true;
    a.rejected = 4;
    a.critical_w = 3.29;
    a.points_used = 567;
    a.redundancy = 562;
    a.sigma0_px = 0.41;
    a.sigma0_um = 3.034;
    a.sigma_apriori_px = 0.5;
    a.chi2 = {0.6724, 0.9183, 1.0843, 562, 0.05, false};
    a.y_parallax_rms_px = 0.58;
    a.y_parallax_max_px = 2.1;
    a.y_parallax_max_match = 311;
    a.mdb_median_px = 2.9;
    a.mdb_max_px = kNaN;
    ro::Precision& p = r.precision;
    p.sigma = {0.00041, 0.00037, Rad(0.0123), Rad(0.0098), Rad(0.0045)};
    const double correlations[5][5] = {{1.0, 0.095, -0.978, -0.168, 0.175},
                                       {0.095, 1.0, -0.073, -0.452, -0.004},
                                       {-0.978, -0.073, 1.0, 0.176, -0.092},
                                       {-0.168, -0.452, 0.176, 1.0, -0.120},
                                       {0.175, -0.004, -0.092, -0.120, 1.0}};
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            p.correlation(i, j) = correlations[i][j];
            p.covariance(i, j) = correlations[i][j] * p.sigma[i] * p.sigma[j];
        }
    }
    p.condition_number = 117.25;
    ro::GeometryFigures& g = r.geometry;
    g.median_intersection_angle_rad = Rad(9.6);
    g.h_over_e_inlier_ratio = 0.31;
    g.homography_inliers = 177;
    g.gruber_counts = {95, 97, 92, 93, 99, 95};
    g.gruber_regions_covered = 6;
    g.base_unit = ro::BaseVector(r.elements).normalized();
    r.warnings = {{"W-CORR-BY-OMEGA", "by and omega poorly separable", -0.978},
                  {"W-CHI2", "sigma0 rejected by the chi-square test", kNaN}};
    r.points = {Point(1, ro::PointStatus::inlier, -0.5, 0.9375),
                Point(2, ro::PointStatus::snooped, 4.25, 0.875),
                Point(3, ro::PointStatus::ransac_outlier, kNaN, kNaN)};
    return r;
}

ro::OrientationResult SampleRefusedResult() {
    ro::OrientationResult r;
    r.outcome = ro::Outcome::too_few_inliers;
    r.reason = "only 9 inliers, at least 15 needed";
    r.matches = 40;
    r.robust = {1.5, 0.9999, 100, 10000, 10000, 3, 40, 9};
    r.points = {Point(1, ro::PointStatus::ransac_outlier, kNaN, kNaN)};
    return r;
}
