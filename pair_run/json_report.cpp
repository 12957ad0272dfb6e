// The JSON output: fields in a fixed order (ordered_json), numbers as nlohmann writes
// doubles (shortest text that reads back to the same double), non-finite ones as null.
#include "pair_run/json_report.h"

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>

#include "common/angles.h"

namespace pair_run {
namespace {

using Json = nlohmann::ordered_json;

using common::kDegreesPerRadian;
constexpr std::array<const char*, 5> kOrder = {"by", "bz", "omega_deg", "phi_deg", "kappa_deg"};

Json Number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

template <class Vector>
Json Vector3(const Vector& v) {
    return Json::array({Number(v[0]), Number(v[1]), Number(v[2])});
}

template <class Matrix>
Json Rows(const Matrix& m) {
    Json rows = Json::array();
    for (int r = 0; r < m.rows(); ++r) {
        Json row = Json::array();
        for (int c = 0; c < m.cols(); ++c) row.push_back(Number(m(r, c)));
        rows.push_back(std::move(row));
    }
    return rows;
}

Json Program(const RunInfo& run) {
    return {{"name", "orient"}, {"version", Version()}, {"seed", run.estimation.ransac.seed}};
}

Json FileName(const std::string& file) { return file.empty() ? Json(nullptr) : Json(file); }

// Tie points given instead of keypoints have no key files, keypoint counts or matching
// settings: those fields are null and "tie_points" names their file. Documents of keypoint
// runs have no "tie_points" field, so that they stay as they were.
Json Input(const ro::OrientationResult& result, const RunInfo& run) {
    if (run.tie_points) {
        return {{"keys1", nullptr},
                {"keys2", nullptr},
                {"keypoints1", nullptr},
                {"keypoints2", nullptr},
                {"descriptor_length", nullptr},
                {"matches", result.matches},
                {"ratio", nullptr},
                {"mutual", nullptr},
                {"tie_points", FileName(run.tie_points_file)}};
    }
    return {{"keys1", FileName(run.keys1_file)},
            {"keys2", FileName(run.keys2_file)},
            {"keypoints1", run.keypoints1},
            {"keypoints2", run.keypoints2},
            {"descriptor_length", run.descriptor_length},
            {"matches", result.matches},
            {"ratio", Number(run.ratio.Value())},
            {"mutual", run.mutual}};
}

// A camera given in pixels has no metric figures (null); the distortion is null when there
// is none.
Json Camera(const CameraUse& use) {
    const ro::Camera& c = use.camera;
    const auto metric = [&](double value) { return c.in_pixels ? Json(nullptr) : Number(value); };
    const ro::Distortion& d = c.distortion;
    const Json distortion = d.IsZero() ? Json(nullptr)
                                       : Json({{"k1", Number(d.k1)},
                                               {"k2", Number(d.k2)},
                                               {"k3", Number(d.k3)},
                                               {"p1", Number(d.p1)},
                                               {"p2", Number(d.p2)}});
    return {{"units", c.in_pixels ? "px" : "mm"},
            {"focal_mm", metric(c.focal_length_m * 1000.0)},
            {"focal_px", Number(c.FocalLengthPx())},
            {"focal_px_row", Number(c.FocalLengthPx() * c.row_scale)},
            {"row_scale", Number(c.row_scale)},
            {"pixel_um", metric(c.PixelSizeUm())},
            {"pixels_per_metre", metric(c.pixels_per_metre)},
            {"principal_point_px", {Number(c.principal_column_px), Number(c.principal_row_px)}},
            {"in_plane_angle_deg", Number(c.in_plane_angle_rad * kDegreesPerRadian)},
            {"distortion", distortion},
            {"file", use.file.empty() ? Json(nullptr) : Json(use.file)}};
}

Json Conventions() {
    return {{"parameterisation", "dependent"},
            {"adjusted_in", "rotation_and_unit_base"},
            {"base_x", 1.0},
            {"rotation", "Rx(omega)*Ry(phi)*Rz(kappa)"},
            {"rotation_maps", "camera2_to_model"},
            {"base", "camera1_to_camera2"},
            {"angle_unit", "deg"}};
}

Json Robust(const ro::OrientationResult& result, const RunInfo& run) {
    const ro::RobustSummary& r = result.robust;
    return {{"method", "lo-ransac"},
            {"minimal_solver", "5pt"},
            {"score", "msac-sampson"},
            {"threshold_px", Number(ro::EffectiveThresholdPx(run.estimation))},
            {"confidence", Number(run.estimation.ransac.confidence)},
            {"min_iterations", r.min_iterations},
            {"max_iterations", run.estimation.ransac.max_iterations},
            {"iterations", r.iterations},
            {"local_optimisations", r.local_optimisations},
            {"candidates", r.candidates},
            {"inliers", r.inliers}};
}

Json Adjustment(const ro::OrientationResult& result, const RunInfo& run) {
    const ro::AdjustmentSummary& a = result.adjustment;
    // A camera given in pixels has no metric pixel: no figures in micrometres.
    const bool metric = !run.camera1.camera.in_pixels;
    const double pixel_um = run.camera1.camera.PixelSizeUm();
    const ro::ChiSquareTest& chi2 = a.chi2;
    return {
        {"residual", "sampson_px"},
        {"iterations", a.iterations},
        {"converged", a.converged},
        {"snooping", {{"critical_w", Number(a.critical_w)}, {"rejected", a.rejected}}},
        {"points_used", a.points_used},
        {"redundancy", a.redundancy},
        {"sigma0_px", Number(a.sigma0_px)},
        {"sigma0_um", metric ? Number(a.sigma0_um) : Json(nullptr)},
        {"sigma_apriori_px", Number(a.sigma_apriori_px)},
        {"chi2_test",
         {{"ratio", Number(chi2.ratio)},
          {"lower", Number(chi2.lower)},
          {"upper", Number(chi2.upper)},
          {"dof", chi2.dof},
          {"alpha", Number(chi2.alpha)},
          {"accepted", chi2.accepted}}},
        {"y_parallax_rms_px", Number(a.y_parallax_rms_px)},
        {"y_parallax_rms_um", metric ? Number(a.y_parallax_rms_px * pixel_um) : Json(nullptr)},
        {"y_parallax_max_px", Number(a.y_parallax_max_px)},
        {"y_parallax_max_match", a.y_parallax_max_match},
        {"mdb_y_parallax_px", {{"median", Number(a.mdb_median_px)}, {"max", Number(a.mdb_max_px)}}},
        {"normal_condition", Number(a.normal_condition)},
        {"sigma_scale", "a_posteriori"}};
}

// (by, bz, omega, phi, kappa) with the angles in degrees.
std::array<double, 5> InDegrees(std::array<double, 5> values) {
    for (int k = 2; k < 5; ++k) values[k] *= kDegreesPerRadian;
    return values;
}

// The elements; with `precision`, each with its sigma (a posteriori) and its a-priori sigma.
Json Elements(const ro::Elements& elements, const ro::Precision* precision) {
    const std::array<double, 5> values = InDegrees(elements.AsArray());
    Json out = Json::object();
    for (int k = 0; k < 5; ++k) out[kOrder[k]] = {{"value", Number(values[k])}};
    if (precision == nullptr) return out;
    const std::array<double, 5> sigma = InDegrees(precision->sigma);
    const std::array<double, 5> a_priori = InDegrees(precision->sigma_a_priori);
    for (int k = 0; k < 5; ++k) {
        out[kOrder[k]]["sigma"] = Number(sigma[k]);
        out[kOrder[k]]["sigma_a_priori"] = Number(a_priori[k]);
    }
    return out;
}

Json Order() { return Json(std::vector<std::string>(kOrder.begin(), kOrder.end())); }

Json Geometry(const ro::OrientationResult& result) {
    const ro::GeometryFigures& g = result.geometry;
    return {{"median_intersection_angle_deg",
             Number(g.median_intersection_angle_rad * kDegreesPerRadian)},
            {"h_over_e_inlier_ratio", Number(g.h_over_e_inlier_ratio)},
            {"homography_inliers", g.homography_inliers},
            {"rotation_only_measure", Number(g.rotation_only_measure)},
            {"gruber_counts", g.gruber_counts},
            {"gruber_layout", {g.gruber_columns, g.gruber_rows}},
            {"gruber_regions_covered", g.gruber_regions_covered},
            {"gruber_box_px",
             {Number(g.gruber_box_px[0]), Number(g.gruber_box_px[1]), Number(g.gruber_box_px[2]),
              Number(g.gruber_box_px[3])}},
            {"condition_number_correlation", Number(result.precision.condition_number)},
            {"base_unit", Vector3(g.base_unit)},
            {"configuration", ro::ConfigurationCode(g.configuration)}};
}

// The unit base and the attitude with their precision: defined for every direction of the
// base, also where the elements by and bz are not.
Json BaseDirection(const ro::OrientationResult& result) {
    return {{"value", Vector3(result.orientation.base)},
            {"sigma", Vector3(result.precision.base_sigma)}};
}

Json Rotation(const ro::OrientationResult& result) {
    std::array<double, 3> sigma_deg = result.precision.rotation_sigma_rad;
    for (double& s : sigma_deg) s *= kDegreesPerRadian;
    return {{"matrix", Rows(result.orientation.attitude)}, {"sigma_deg", Vector3(sigma_deg)}};
}

Json Second(const ro::SecondSolution& s) {
    if (!s.found) return nullptr;
    return {{"score_increase", Number(s.score_increase)},
            {"rotation_difference_deg", Number(s.rotation_difference_rad * kDegreesPerRadian)},
            {"base_difference_deg", Number(s.base_difference_rad * kDegreesPerRadian)},
            {"sigmas_apart", Number(s.sigmas_apart)},
            {"inliers", s.inliers},
            {"elements", Elements(s.elements, nullptr)}};
}

Json Warnings(const ro::OrientationResult& result) {
    Json list = Json::array();
    for (const ro::Warning& w : result.warnings) {
        list.push_back({{"code", w.code}, {"message", w.message}, {"value", Number(w.value)}});
    }
    return list;
}

}  // namespace

std::string JsonReport(const ro::OrientationResult& result, const RunInfo& run) {
    const bool oriented = result.outcome == ro::Outcome::oriented;
    const bool adjusted = ro::HasAdjustedOrientation(result.outcome);
    Json doc;
    doc["schema"] = kJsonSchema;
    doc["program"] = Program(run);
    doc["outcome"] = {{"code", ro::OutcomeCode(result.outcome)},
                      {"oriented", oriented},
                      {"reason", result.reason}};
    doc["input"] = Input(result, run);
    doc["camera"] = Camera(run.camera1);
    doc["camera2"] = Camera(run.camera2);
    doc["conventions"] = Conventions();
    doc["robust"] = Robust(result, run);
    // What only an orientation gives is null without one, so that every field is present.
    doc["adjustment"] = adjusted ? Adjustment(result, run) : Json(nullptr);
    doc["elements"] = adjusted ? Elements(result.elements, &result.precision) : Json(nullptr);
    doc["base_direction"] = adjusted ? BaseDirection(result) : Json(nullptr);
    doc["rotation"] = adjusted ? Rotation(result) : Json(nullptr);
    doc["covariance"] =
        adjusted ? Json{{"order", Order()},
                        {"matrix", Rows(ro::CovarianceInDegrees(result.precision.covariance))}}
                 : Json(nullptr);
    doc["correlation"] =
        adjusted ? Json{{"order", Order()}, {"matrix", Rows(result.precision.correlation)}}
                 : Json(nullptr);
    doc["cv_form"] = adjusted ? Json{{"R_cam2_from_cam1", Rows(result.cv_pose.R)},
                                     {"t_unit", Vector3(result.cv_pose.t)}}
                              : Json(nullptr);
    // The geometry also explains a refusal (no_parallax): present whenever it was computed.
    doc["geometry"] = result.geometry.computed ? Geometry(result) : Json(nullptr);
    doc["second_solution"] = adjusted ? Second(result.second) : Json(nullptr);
    doc["warnings"] = Warnings(result);
    doc["points_csv"] = run.points_file.empty() ? Json(nullptr) : Json(run.points_file);
    // File names need not be UTF-8: invalid bytes become U+FFFD instead of an exception.
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace pair_run
