#include "tests/orient/sample_result.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "common/angles.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

ro::PointResult Point(int m, ro::PointStatus status, double w, double redundancy) {
    return {m,           100.25 * m,  200.5 * m,  101.0 * m,
            190.75 * m,  -5331.7 + m, 3044.1 - m, -5400.2 + m,
            3037.9 - m,  0.25 * m,    status,     0.125 * m,
            -0.1875 * m, w,           redundancy, std::isnan(redundancy) ? kNaN : 2.875};
}

}  // namespace

double Rad(double degrees) { return degrees * common::kRadiansPerDegree; }

pair_run::RunInfo SampleRun() {
    pair_run::RunInfo run;
    run.keys1_file = "img1.key";
    run.keys2_file = "img2.key";
    run.keypoints1 = 2412;
    run.keypoints2 = 2630;
    run.descriptor_length = 128;
    ro::Camera& camera = run.camera1.camera;
    camera.focal_length_m = 0.0132;
    camera.pixels_per_metre = 135135.1351;
    camera.principal_column_px = 959.5;
    camera.principal_row_px = 511.5;
    run.camera2 = run.camera1;
    run.ratio = {6, 10};
    run.points_file = "points.csv";
    return run;
}

ro::OrientationResult SampleOrientedResult() {
    ro::OrientationResult r;
    r.outcome = ro::Outcome::oriented;
    r.matches = 612;
    r.elements = {0.01234, -0.03456, Rad(0.4567), Rad(-1.2345), Rad(12.3456)};
    r.orientation = ro::OrientationFromElements(r.elements);
    r.cv_pose = ro::CvPoseFromElements(r.elements);
    r.robust = {1.5, 0.9999, 100, 10000, 187, 12, 612, 571};
    r.adjustment = {4,    true, 4,     3.29, 567,
                    562,  0.41, 3.034, 0.5,  {0.6724, 0.9183, 1.0843, 562, 0.05, false},
                    0.58, 2.1,  311,   2.9,  kNaN};
    ro::Precision& p = r.precision;
    p.sigma = {0.00041, 0.00037, Rad(0.0123), Rad(0.0098), Rad(0.0045)};
    p.sigma_a_priori = {0.0005, 0.00045, Rad(0.015), Rad(0.01195), Rad(0.00549)};
    p.correlation << 1.0, 0.095, -0.978, -0.168, 0.175,  //
        0.095, 1.0, -0.073, -0.452, -0.004,              //
        -0.978, -0.073, 1.0, 0.176, -0.092,              //
        -0.168, -0.452, 0.176, 1.0, -0.120,              //
        0.175, -0.004, -0.092, -0.120, 1.0;
    const Eigen::Matrix<double, 5, 1> sigma(p.sigma.data());
    p.covariance = sigma.asDiagonal() * p.correlation * sigma.asDiagonal();
    p.condition_number = 117.25;
    p.base_sigma = {0.000015, 0.00041, 0.00037};
    p.rotation_sigma_rad = {Rad(0.0123), Rad(0.0098), Rad(0.0045)};
    r.geometry.computed = true;
    r.geometry.median_intersection_angle_rad = Rad(9.6);
    r.geometry.h_over_e_inlier_ratio = 0.31;
    r.geometry.homography_inliers = 177;
    r.geometry.gruber_counts = {95, 97, 92, 93, 99, 95};
    r.geometry.gruber_regions_covered = 6;
    r.geometry.base_unit = ro::BaseVector(r.elements).normalized();
    r.second = {true,     12.34, Rad(3.1), 560, {0.02, -0.01, Rad(1.0), Rad(-2.0), Rad(3.0)},
                Rad(0.4), 25.0};
    r.warnings = {{"W-CORR-BY-OMEGA", "by and omega poorly separable", -0.978},
                  {"W-SIGMA0-REJECTED", "sigma0 rejected by the chi-square test", kNaN}};
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
