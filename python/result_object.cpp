#include "python/result_object.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/angles.h"
#include "pair_run/json_report.h"

namespace relative_orientation_python {
namespace {

namespace py = pybind11;

constexpr std::array<const char*, 5> kElementKeys = {"by", "bz", "omega_deg", "phi_deg",
                                                     "kappa_deg"};
constexpr std::array<ro::PointStatus, 3> kStatuses = {
    ro::PointStatus::inlier, ro::PointStatus::ransac_outlier, ro::PointStatus::snooped};

bool Adjusted(const PairResult& r) { return ro::HasAdjustedOrientation(r.result.outcome); }

// (by, bz, omega, phi, kappa) with the angles in degrees, as a dict by kElementKeys; None
// without an adjusted orientation.
py::object ElementDict(const PairResult& r, std::array<double, 5> values) {
    if (!Adjusted(r)) return py::none();
    py::dict out;
    for (std::size_t k = 0; k < values.size(); ++k) {
        out[kElementKeys[k]] = k >= 2 ? values[k] * common::kDegreesPerRadian : values[k];
    }
    return out;
}

py::object Triple(const PairResult& r, const std::array<double, 3>& v) {
    if (!Adjusted(r)) return py::none();
    return py::make_tuple(v[0], v[1], v[2]);
}

// One value per tie point as a float64 array.
template <class Field>
py::array_t<double> PerPoint(const PairResult& r, Field field) {
    py::array_t<double> out(static_cast<py::ssize_t>(r.result.points.size()));
    auto o = out.mutable_unchecked<1>();
    for (std::size_t k = 0; k < r.result.points.size(); ++k) {
        o(static_cast<py::ssize_t>(k)) = field(r.result.points[k]);
    }
    return out;
}

std::string Repr(const PairResult& r) {
    std::string text = "<Result ";
    text += ro::OutcomeCode(r.result.outcome);
    if (Adjusted(r)) {
        const std::array<double, 5> e = r.result.elements.AsArray();
        char figures[200];
        std::snprintf(figures, sizeof figures,
                      ": by=%.5f bz=%.5f omega=%.4f phi=%.4f kappa=%.4f deg, sigma0=%.3f px", e[0],
                      e[1], e[2] * common::kDegreesPerRadian, e[3] * common::kDegreesPerRadian,
                      e[4] * common::kDegreesPerRadian, r.result.adjustment.sigma0_px);
        text += figures;
    } else if (!r.result.reason.empty()) {
        text += ": " + r.result.reason;
    }
    text += ", " + std::to_string(r.result.points.size()) + " tie points, " +
            std::to_string(r.result.robust.inliers) + " inliers>";
    return text;
}

}  // namespace

void BindResult(py::module_& module) {
    py::list codes;
    for (const ro::PointStatus status : kStatuses) codes.append(ro::PointStatusCode(status));
    module.attr("POINT_STATUS") = py::tuple(codes);

    py::class_<PairResult>(module, "Result", R"doc(
One pair's relative orientation, as orient finds it.

The elements are dependent: camera 1 at the origin, the base (1, by, bz) from camera 1 to
camera 2, the attitude of camera 2 Rx(omega) Ry(phi) Rz(kappa), angles in degrees. Sigmas
are a posteriori. Without an adjusted orientation (outcome other than 'oriented' or
'ambiguous') elements, sigmas, base_direction, covariance and the adjustment's figures are
None. by and bz are NaN when the base has almost no X component. to_json() is exactly the
document orient --json writes for the same pair and settings.)doc")
        .def_property_readonly(
            "outcome", [](const PairResult& r) { return ro::OutcomeCode(r.result.outcome); },
            "How the run ended: 'oriented', 'too_few_matches', 'no_model', 'too_few_inliers', "
            "'no_parallax', 'adjustment_failed', 'invalid_options', 'invalid_camera' or "
            "'ambiguous'.")
        .def_property_readonly(
            "oriented",
            [](const PairResult& r) { return r.result.outcome == ro::Outcome::oriented; },
            "True when a reliable orientation was found.")
        .def_property_readonly(
            "reason", [](const PairResult& r) { return r.result.reason; },
            "Why no reliable orientation was found (empty when oriented).")
        .def_property_readonly(
            "matches", [](const PairResult& r) { return r.result.matches; },
            "The number of tie points (matches, or the points given).")
        .def_property_readonly(
            "elements",
            [](const PairResult& r) { return ElementDict(r, r.result.elements.AsArray()); },
            "dict by, bz, omega_deg, phi_deg, kappa_deg -> value; None without orientation.")
        .def_property_readonly(
            "sigmas", [](const PairResult& r) { return ElementDict(r, r.result.precision.sigma); },
            "The a-posteriori standard deviations of the elements, keyed as elements.")
        .def_property_readonly(
            "base_direction",
            [](const PairResult& r) {
                const Eigen::Vector3d& b = r.result.orientation.base;
                return Triple(r, {b[0], b[1], b[2]});
            },
            "The unit base, camera 1 to camera 2, in the model frame (x, y, z).")
        .def_property_readonly(
            "base_direction_sigmas",
            [](const PairResult& r) { return Triple(r, r.result.precision.base_sigma); },
            "Standard deviations of the unit base's components.")
        .def_property_readonly(
            "covariance",
            [](const PairResult& r) -> py::object {
                if (!Adjusted(r)) return py::none();
                const ro::Matrix5d c = ro::CovarianceInDegrees(r.result.precision.covariance);
                py::array_t<double> out({py::ssize_t{5}, py::ssize_t{5}});
                auto o = out.mutable_unchecked<2>();
                for (int i = 0; i < 5; ++i) {
                    for (int j = 0; j < 5; ++j) o(i, j) = c(i, j);
                }
                return out;
            },
            "The 5 x 5 covariance of (by, bz, omega, phi, kappa), angles in degrees.")
        .def_property_readonly(
            "sigma0_px",
            [](const PairResult& r) -> py::object {
                if (!Adjusted(r)) return py::none();
                return py::float_(r.result.adjustment.sigma0_px);
            },
            "The a-posteriori sigma of unit weight, pixels.")
        .def_property_readonly(
            "chi2_test",
            [](const PairResult& r) -> py::object {
                if (!Adjusted(r)) return py::none();
                const ro::ChiSquareTest& t = r.result.adjustment.chi2;
                py::dict out;
                out["ratio"] = t.ratio;
                out["lower"] = t.lower;
                out["upper"] = t.upper;
                out["dof"] = t.dof;
                out["alpha"] = t.alpha;
                out["accepted"] = t.accepted;
                return out;
            },
            "The test of sigma0 against the a-priori sigma: ratio sigma0^2 / sigma^2, its "
            "bounds lower and upper, dof, alpha, accepted.")
        .def_property_readonly(
            "warnings",
            [](const PairResult& r) {
                py::list out;
                for (const ro::Warning& w : r.result.warnings) {
                    out.append(py::make_tuple(w.code, w.message));
                }
                return out;
            },
            "The warnings as (code, message) pairs, e.g. ('W-CORR-BY-OMEGA', '...').")
        .def_property_readonly(
            "indices",
            [](const PairResult& r) {
                py::array_t<std::int64_t> out(
                    {static_cast<py::ssize_t>(r.tie_points.size()), py::ssize_t{2}});
                auto o = out.mutable_unchecked<2>();
                for (std::size_t k = 0; k < r.tie_points.size(); ++k) {
                    o(static_cast<py::ssize_t>(k), 0) = r.tie_points[k].key1;
                    o(static_cast<py::ssize_t>(k), 1) = r.tie_points[k].key2;
                }
                return out;
            },
            "M x 2 keypoint numbers (0-based) of each tie point in both lists; -1 for tie "
            "points given.")
        .def_property_readonly(
            "points",
            [](const PairResult& r) {
                const auto m = static_cast<py::ssize_t>(r.result.points.size());
                py::array_t<double> out({m, py::ssize_t{4}});
                auto o = out.mutable_unchecked<2>();
                for (py::ssize_t k = 0; k < m; ++k) {
                    const ro::PointResult& p = r.result.points[static_cast<std::size_t>(k)];
                    o(k, 0) = p.row1_px;
                    o(k, 1) = p.col1_px;
                    o(k, 2) = p.row2_px;
                    o(k, 3) = p.col2_px;
                }
                return out;
            },
            "M x 4 positions of the tie points: row1, col1, row2, col2 (pixels).")
        .def_property_readonly(
            "status",
            [](const PairResult& r) {
                py::array_t<std::int8_t> out(static_cast<py::ssize_t>(r.result.points.size()));
                auto o = out.mutable_unchecked<1>();
                for (std::size_t k = 0; k < r.result.points.size(); ++k) {
                    o(static_cast<py::ssize_t>(k)) =
                        static_cast<std::int8_t>(r.result.points[k].status);
                }
                return out;
            },
            "int8 per tie point, an index into POINT_STATUS: 0 inlier, 1 ransac_outlier, "
            "2 snooped.")
        .def_property_readonly(
            "residual",
            [](const PairResult& r) {
                return PerPoint(r, [](const ro::PointResult& p) { return p.sampson_px; });
            },
            "The Sampson residual of each tie point at the final elements, pixels.")
        .def_property_readonly(
            "w",
            [](const PairResult& r) {
                return PerPoint(r, [](const ro::PointResult& p) { return p.w; });
            },
            "The normalised residual of the w-test; NaN for points not in the last adjustment.")
        .def_property_readonly(
            "mdb",
            [](const PairResult& r) {
                return PerPoint(r, [](const ro::PointResult& p) { return p.mdb_px; });
            },
            "The minimal detectable bias in y-parallax pixels; NaN for points not in the last "
            "adjustment.")
        .def(
            "to_json", [](const PairResult& r) { return pair_run::JsonReport(r.result, r.run); },
            "The JSON document, exactly the text orient --json writes.")
        .def(
            "to_dict",
            [](const PairResult& r) {
                return py::module_::import("json").attr("loads")(
                    pair_run::JsonReport(r.result, r.run));
            },
            "json.loads(to_json()).")
        .def("__repr__", &Repr);
}

}  // namespace relative_orientation_python
