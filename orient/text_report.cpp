// The text report: a label column of 11 characters, then fixed-format figures.
#include <array>
#include <cmath>

#include "common/angles.h"
#include "orient/text_format.h"
#include "orient/writers.h"

namespace orient {
namespace {

using common::kDegreesPerRadian;
using ro::kElementNames;

// One line: the label padded to the label column, then the text.
void Line(std::string& out, const char* label, const std::string& text) {
    out += Format("%-10s ", label);
    out += text;
    out += '\n';
}

// A figure with its unit, or "n/a" alone when the figure is not finite.
std::string Unit(double value, int decimals, const char* unit) {
    if (!std::isfinite(value)) return "n/a";
    return Fixed(value, decimals) + " " + unit;
}

std::string Percent(int part, int whole) {
    if (whole <= 0) return "n/a";
    return Fixed(100.0 * part / whole, 1) + " %";
}

void Header(std::string& out, const pair_run::RunInfo& run) {
    out +=
        Format("relative orientation, dependent (camera 1 fixed, bx = 1)   orient %s   seed %llu\n",
               pair_run::Version(), static_cast<unsigned long long>(run.estimation.ransac.seed));
}

// A file of the run as the report names it; keypoints or tie points handed over in memory
// have none.
std::string FileName(const std::string& file) { return file.empty() ? "(in memory)" : file; }

void Input(std::string& out, const ro::OrientationResult& result, const pair_run::RunInfo& run) {
    if (run.tie_points) {
        Line(out, "input", "tie points " + FileName(run.tie_points_file));
        Line(out, "", Format("tie points %d (matched elsewhere)", result.matches));
        return;
    }
    Line(out, "input",
         Format("%s  %d keypoints   %s  %d keypoints   descriptors of %d values",
                FileName(run.keys1_file).c_str(), run.keypoints1, FileName(run.keys2_file).c_str(),
                run.keypoints2, run.descriptor_length));
    Line(out, "",
         Format("matches %d (ratio %s%s)", result.matches, pair_run::RatioText(run.ratio).c_str(),
                run.mutual ? ", mutual nearest neighbours only" : ""));
}

// A camera's focal length, pixel and principal point; a camera given in pixels has no metric
// size to show, non-square pixels add the focal length in rows.
std::string CameraFigures(const ro::Camera& c) {
    const std::string rows =
        c.row_scale != 1.0 ? ", rows " + Fixed(c.FocalLengthPx() * c.row_scale, 2) + " px" : "";
    const std::string principal =
        Format("principal point (%s, %s) px", Fixed(c.principal_column_px, 2).c_str(),
               Fixed(c.principal_row_px, 2).c_str());
    if (c.in_pixels) {
        return Format("f %s px%s   %s", Fixed(c.FocalLengthPx(), 2).c_str(), rows.c_str(),
                      principal.c_str());
    }
    return Format("f %s mm = %s px%s   pixel %s um   %s",
                  Fixed(c.focal_length_m * 1000.0, 4).c_str(), Fixed(c.FocalLengthPx(), 2).c_str(),
                  rows.c_str(), Fixed(c.PixelSizeUm(), 3).c_str(), principal.c_str());
}

void OneCamera(std::string& out, const char* label, const pair_run::CameraUse& use,
               const char* which) {
    const ro::Camera& c = use.camera;
    Line(out, label, CameraFigures(c));
    const std::string source = use.file.empty() ? "built-in camera" : "camera file " + use.file;
    Line(out, "",
         Format("in-plane angle %s deg   %s%s",
                Fixed(c.in_plane_angle_rad * kDegreesPerRadian, 4).c_str(), source.c_str(), which));
    const ro::Distortion& d = c.distortion;
    if (!d.IsZero()) {
        Line(out, "",
             Format("distortion k1 %.6g  k2 %.6g  k3 %.6g  p1 %.6g  p2 %.6g", d.k1, d.k2, d.k3,
                    d.p1, d.p2));
    }
}

void Cameras(std::string& out, const pair_run::RunInfo& run) {
    if (run.same_camera) {
        OneCamera(out, "camera", run.camera1, ", both photographs");
    } else {
        OneCamera(out, "camera 1", run.camera1, "");
        OneCamera(out, "camera 2", run.camera2, "");
    }
}

void Robust(std::string& out, const ro::OrientationResult& result, const pair_run::RunInfo& run) {
    Line(out, "robust",
         Format("LO-RANSAC, 5-point, MSAC on Sampson error, threshold %s px, confidence %.6g",
                Fixed(ro::EffectiveThresholdPx(run.estimation), 2).c_str(),
                run.estimation.ransac.confidence));
    const ro::RobustSummary& r = result.robust;
    if (r.iterations <= 0) {
        Line(out, "", "not run");
        return;
    }
    Line(out, "",
         Format("iterations %d (min %d, max %d), local optimisations %d   inliers %d / %d (%s)",
                r.iterations, r.min_iterations, run.estimation.ransac.max_iterations,
                r.local_optimisations, r.inliers, r.candidates,
                Percent(r.inliers, r.candidates).c_str()));
}

void Adjustment(std::string& out, const ro::OrientationResult& result,
                const pair_run::RunInfo& run) {
    const ro::AdjustmentSummary& a = result.adjustment;
    const double pixel_um = run.camera1.camera.PixelSizeUm();
    // A camera given in pixels has no metric pixel: its figures stay in pixels.
    const auto and_um = [&](const std::string& px, double um) {
        return run.camera1.camera.in_pixels ? px : px + " = " + Unit(um, 2, "um");
    };
    Line(out, "adjustment",
         Format("least squares on coplanarity (Sampson-normalised), %d iterations, %s",
                a.iterations, a.converged ? "converged" : "not converged"));
    Line(out, "",
         Format("data snooping (|w| > %s): %d rejected   points used %d   redundancy %d",
                Fixed(a.critical_w, 2).c_str(), a.rejected, a.points_used, a.redundancy));
    Line(out, "",
         Format("sigma0 %s   a priori %s", and_um(Unit(a.sigma0_px, 3, "px"), a.sigma0_um).c_str(),
                Unit(a.sigma_apriori_px, 3, "px").c_str()));
    const ro::ChiSquareTest& chi2 = a.chi2;
    Line(out, "",
         Format("chi2 test (alpha %s, %d dof): %s, sigma0^2 / sigma^2 = %s in [%s, %s]",
                Fixed(chi2.alpha, 2).c_str(), chi2.dof, chi2.accepted ? "accepted" : "rejected",
                Fixed(chi2.ratio, 3).c_str(), Fixed(chi2.lower, 3).c_str(),
                Fixed(chi2.upper, 3).c_str()));
    Line(out, "",
         Format("y-parallax RMS %s   largest %s (match %d)",
                and_um(Unit(a.y_parallax_rms_px, 3, "px"), a.y_parallax_rms_px * pixel_um).c_str(),
                Unit(a.y_parallax_max_px, 3, "px").c_str(), a.y_parallax_max_match));
    Line(out, "",
         Format("MDB (y-parallax) median %s, largest %s", Unit(a.mdb_median_px, 2, "px").c_str(),
                Unit(a.mdb_max_px, 2, "px").c_str()));
}

// Base components with 6 decimals, angles in degrees with 5; the decimal points align.
std::string ElementValue(int k, double value) {
    return k < 2 ? Fixed(value, 6, 13) : Fixed(value * kDegreesPerRadian, 5, 12) + " ";
}

// The standard deviations a posteriori (the cofactors scaled by sigma0^2) and, beside them,
// a priori (scaled by the a-priori sigma^2).
void ElementsTable(std::string& out, const ro::OrientationResult& result) {
    const std::array<double, 5> values = result.elements.AsArray();
    const ro::AdjustmentSummary& a = result.adjustment;
    out += Format(
        "\nstandard deviations a posteriori (scaled by sigma0 = %s), a priori (sigma = "
        "%s)\n",
        Unit(a.sigma0_px, 3, "px").c_str(), Unit(a.sigma_apriori_px, 3, "px").c_str());
    out += Format("%-8s%13s%13s%13s   %s\n", "element", "value", "std.dev.", "a priori", "unit");
    for (int k = 0; k < 5; ++k) {
        const char* unit = k == 0 ? "   (bx = 1)" : k == 1 ? "" : "   deg";
        out += Format("%-8s%s%s%s%s\n", kElementNames[k], ElementValue(k, values[k]).c_str(),
                      ElementValue(k, result.precision.sigma[k]).c_str(),
                      ElementValue(k, result.precision.sigma_a_priori[k]).c_str(), unit);
    }
}

void CorrelationTable(std::string& out, const ro::OrientationResult& result) {
    out += "\ncorrelation";
    for (const char* name : kElementNames) out += Format("%8s", name);
    out += '\n';
    for (int row = 0; row < 5; ++row) {
        out += Format("%-11s", kElementNames[row]);
        for (int col = 0; col <= row; ++col) {
            out += Fixed(result.precision.correlation(row, col), 3, 8);
        }
        out += '\n';
    }
    out += '\n';
}

void Geometry(std::string& out, const ro::OrientationResult& result) {
    const ro::GeometryFigures& g = result.geometry;
    Line(out, "geometry",
         Format("median intersection angle %s   H/E inlier ratio %s (%d homography inliers)",
                Unit(g.median_intersection_angle_rad * kDegreesPerRadian, 2, "deg").c_str(),
                Fixed(g.h_over_e_inlier_ratio, 3).c_str(), g.homography_inliers));
    std::string counts;
    for (const int count : g.gruber_counts) counts += Format(" %d", count);
    Line(out, "",
         Format("von Gruber regions covered %d/6 (%d x %d, inliers per region:%s)",
                g.gruber_regions_covered, g.gruber_columns, g.gruber_rows, counts.c_str()));
    Line(out, "",
         Format("condition number (correlation matrix) %s   configuration %s",
                Fixed(result.precision.condition_number, 1).c_str(),
                ro::ConfigurationCode(g.configuration)));
    const ro::Precision& p = result.precision;
    Line(out, "",
         Format("unit base direction (%s, %s, %s) +- (%s, %s, %s)",
                Fixed(g.base_unit.x(), 6).c_str(), Fixed(g.base_unit.y(), 6).c_str(),
                Fixed(g.base_unit.z(), 6).c_str(), Fixed(p.base_sigma[0], 6).c_str(),
                Fixed(p.base_sigma[1], 6).c_str(), Fixed(p.base_sigma[2], 6).c_str()));
    Line(out, "",
         Format("rotation std.dev. about the model axes x, y, z (%s, %s, %s) deg",
                Fixed(p.rotation_sigma_rad[0] * kDegreesPerRadian, 5).c_str(),
                Fixed(p.rotation_sigma_rad[1] * kDegreesPerRadian, 5).c_str(),
                Fixed(p.rotation_sigma_rad[2] * kDegreesPerRadian, 5).c_str()));
}

// What the geometry shows when the run stopped at a rotation only: the figures that say why.
void RefusalGeometry(std::string& out, const ro::OrientationResult& result) {
    const ro::GeometryFigures& g = result.geometry;
    if (!g.computed) return;
    Line(out, "geometry",
         Format("H/E inlier ratio %s (%d homography inliers)   rotation-only measure %s",
                Fixed(g.h_over_e_inlier_ratio, 3).c_str(), g.homography_inliers,
                Fixed(g.rotation_only_measure, 4).c_str()));
    Line(out, "",
         Format("median intersection angle %s   configuration %s",
                Unit(g.median_intersection_angle_rad * kDegreesPerRadian, 2, "deg").c_str(),
                ro::ConfigurationCode(g.configuration)));
}

void SecondSolution(std::string& out, const ro::OrientationResult& result) {
    const ro::SecondSolution& s = result.second;
    if (!s.found) return;
    Line(out, "second",
         Format("a second solution: score %s sigma^2 higher, %s deg from the best, %d inliers",
                Fixed(s.score_increase, 1).c_str(),
                Fixed(s.rotation_difference_rad * kDegreesPerRadian, 2).c_str(), s.inliers));
    Line(out, "",
         Format("base %s deg from the best; %s sigmas apart",
                Fixed(s.base_difference_rad * kDegreesPerRadian, 2).c_str(),
                Fixed(s.sigmas_apart, 1).c_str()));
    const ro::Elements& e = s.elements;
    Line(out, "",
         Format("by %s  bz %s  omega %s  phi %s  kappa %s deg", Fixed(e.by, 6).c_str(),
                Fixed(e.bz, 6).c_str(), Fixed(e.omega_rad * kDegreesPerRadian, 5).c_str(),
                Fixed(e.phi_rad * kDegreesPerRadian, 5).c_str(),
                Fixed(e.kappa_rad * kDegreesPerRadian, 5).c_str()));
}

void Warnings(std::string& out, const ro::OrientationResult& result) {
    if (result.warnings.empty()) {
        Line(out, "warnings", "none");
        return;
    }
    const char* label = "warnings";
    for (const ro::Warning& w : result.warnings) {
        Line(out, label, Format("%-19s %s", w.code.c_str(), w.message.c_str()));
        label = "";
    }
}

void CvForm(std::string& out, const ro::OrientationResult& result) {
    const ro::CvPose& pose = result.cv_pose;
    Line(out, "cv form",
         "X2 = R X1 + t (x right, y down, z forwards), t of unit length, x2' [t]x R x1 = 0");
    for (int row = 0; row < 3; ++row) {
        Line(out, "",
             Format("%s%s%s%s", row == 0 ? "R  " : "   ", Fixed(pose.R(row, 0), 6, 11).c_str(),
                    Fixed(pose.R(row, 1), 6, 11).c_str(), Fixed(pose.R(row, 2), 6, 11).c_str()));
    }
    Line(out, "",
         Format("t  %s%s%s", Fixed(pose.t.x(), 6, 11).c_str(), Fixed(pose.t.y(), 6, 11).c_str(),
                Fixed(pose.t.z(), 6, 11).c_str()));
}

void Conventions(std::string& out) {
    Line(out, "convention",
         "M = Rx(omega) Ry(phi) Rz(kappa) maps camera-2 directions into the model frame;");
    Line(out, "",
         "base from camera 1 to camera 2; angles counter-clockwise seen from the axis end");
}

}  // namespace

std::string TextReport(const ro::OrientationResult& result, const pair_run::RunInfo& run) {
    std::string out;
    const bool oriented = result.outcome == ro::Outcome::oriented;
    const bool adjusted = ro::HasAdjustedOrientation(result.outcome);
    if (!oriented) out += "no reliable orientation: " + result.reason + "\n";
    Header(out, run);
    Input(out, result, run);
    Cameras(out, run);
    Robust(out, result, run);
    if (adjusted) {
        Adjustment(out, result, run);
        ElementsTable(out, result);
        CorrelationTable(out, result);
        Geometry(out, result);
        SecondSolution(out, result);
    }
    if (!oriented) Line(out, "outcome", ro::OutcomeCode(result.outcome));
    if (!adjusted) RefusalGeometry(out, result);
    Warnings(out, result);
    if (adjusted) CvForm(out, result);
    Conventions(out);
    return out;
}

}  // namespace orient
