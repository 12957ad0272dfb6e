// Synthetic scenes for the robust orientation.
#include "orient_scene.h"

#include <Eigen/Core>
#include <cmath>
#include <numbers>

#include "random.h"

namespace scene {
namespace {

// Doubles from the scene's own generator: uniform from the top 53 bits, normal by the
// Box-Muller transform.
class Draw {
public:
    explicit Draw(std::uint64_t seed) : random_(seed) {}
    double Uniform() { return static_cast<double>(random_.Next() >> 11) * 0x1.0p-53; }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    double Normal() {
        const double u = 1.0 - Uniform();  // in (0, 1]
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * Uniform());
    }

private:
    ro::SplitMix64 random_;
};

bool InFrame(const ro::Camera::PixelPoint& p, const Frame& frame) {
    return p.column_px >= 0.0 && p.column_px <= frame.columns - 1.0 && p.row_px >= 0.0 &&
           p.row_px <= frame.rows - 1.0;
}

// The pixel where camera 2 sees the model point X, or false when it lies behind it.
bool Project2(const Eigen::Vector3d& X, const Eigen::Matrix3d& M, const Eigen::Vector3d& B,
              const ro::Camera& camera, ro::Camera::PixelPoint* pixel) {
    const Eigen::Vector3d local = M.transpose() * (X - B);
    if (!(local.z() < 0.0)) return false;
    const double f = camera.focal_length_m;
    *pixel = camera.ToPixel({-f * local.x() / local.z(), -f * local.y() / local.z()});
    return true;
}

}  // namespace

Frame FrameOf(const ro::Camera& camera) {
    return {2.0 * camera.principal_column_px + 1.0, 2.0 * camera.principal_row_px + 1.0};
}

OrientScene MakeOrientScene(const ro::Elements& truth, const ro::Camera& camera1,
                            const ro::Camera& camera2, const OrientSceneOptions& options) {
    OrientScene scene{camera1, camera2, truth, {}, {}};
    Draw draw(options.seed);
    const Eigen::Matrix3d M = ro::AttitudeMatrix(truth.omega_rad, truth.phi_rad, truth.kappa_rad);
    const Eigen::Vector3d B = ro::BaseVector(truth);
    const Frame frame1 = FrameOf(camera1);
    const Frame frame2 = FrameOf(camera2);
    const double f1 = camera1.focal_length_m;
    const double plane_depth = 0.5 * (options.min_depth + options.max_depth);
    for (long tries = 0; static_cast<int>(scene.tie_points.size()) < options.points &&
                         tries < 100L * options.points;
         ++tries) {
        const ro::Camera::PixelPoint p1{draw.Uniform(0.0, frame1.columns - 1.0),
                                        draw.Uniform(0.0, frame1.rows - 1.0)};
        const ro::ImagePoint q1 = camera1.ToImagePlane(p1.column_px, p1.row_px);
        const Eigen::Vector3d ray(q1.x_m / f1, q1.y_m / f1, -1.0);
        double depth = draw.Uniform(options.min_depth, options.max_depth);
        if (options.planar) {
            // The plane -z = plane_depth + tan(tilt) y, met by the ray (depth along -z).
            depth = plane_depth / (1.0 - std::tan(options.plane_tilt_rad) * ray.y());
            if (!(depth > 0.0)) continue;
        }
        const Eigen::Vector3d X = depth * ray;
        ro::Camera::PixelPoint p2;
        if (!Project2(X, M, B, camera2, &p2) || !InFrame(p2, frame2)) continue;
        const bool is_false = draw.Uniform() < options.outlier_fraction;
        if (is_false && draw.Uniform() < options.near_epipolar_share) {
            // The same ray at another depth lies on the epipolar line; then up to 3 px off it.
            ro::Camera::PixelPoint moved;
            const double scale = draw.Uniform(0.6, 1.8);
            if (!Project2(scale * X, M, B, camera2, &moved)) continue;
            const double angle = draw.Uniform(0.0, 2.0 * std::numbers::pi);
            const double offset = draw.Uniform(1.0, 3.0);
            p2 = {moved.column_px + offset * std::cos(angle), moved.row_px + offset * std::sin(angle)};
        } else if (is_false) {
            p2 = {draw.Uniform(0.0, frame2.columns - 1.0), draw.Uniform(0.0, frame2.rows - 1.0)};
        }
        ro::TiePoint t;
        t.col1_px = p1.column_px + options.noise_px * draw.Normal();
        t.row1_px = p1.row_px + options.noise_px * draw.Normal();
        t.col2_px = p2.column_px + options.noise_px * draw.Normal();
        t.row2_px = p2.row_px + options.noise_px * draw.Normal();
        scene.tie_points.push_back(t);
        scene.is_false.push_back(is_false ? 1 : 0);
    }
    return scene;
}

ro::Elements RandomElements(std::uint64_t seed, double kappa_max_rad, double tilt_max_rad,
                            double base_max) {
    Draw draw(seed);
    ro::Elements e;
    e.by = draw.Uniform(-base_max, base_max);
    e.bz = draw.Uniform(-base_max, base_max);
    e.omega_rad = draw.Uniform(-tilt_max_rad, tilt_max_rad);
    e.phi_rad = draw.Uniform(-tilt_max_rad, tilt_max_rad);
    e.kappa_rad = draw.Uniform(-kappa_max_rad, kappa_max_rad);
    return e;
}

}  // namespace scene
