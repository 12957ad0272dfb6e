// The synthetic scene for the robust orientation.
#include "testing/orient_scene.h"

#include <Eigen/Geometry>
#include <numbers>

#include "common/random.h"

namespace scene {

std::vector<ro::TiePoint> TurnedByQuarter(std::vector<ro::TiePoint> points,
                                          const ro::Camera& camera) {
    const auto turn = [&](double* col, double* row) {
        const double dc = *col - camera.principal_column_px;
        const double dr = *row - camera.principal_row_px;
        *col = camera.principal_column_px + dr;
        *row = camera.principal_row_px - dc;
    };
    for (ro::TiePoint& t : points) {
        turn(&t.col1_px, &t.row1_px);
        turn(&t.col2_px, &t.row2_px);
    }
    return points;
}

ro::Orientation TurnedByQuarter(const ro::Orientation& orientation) {
    const Eigen::Matrix3d q =
        Eigen::AngleAxisd(std::numbers::pi / 2, Eigen::Vector3d::UnitZ()).toRotationMatrix();
    return {q * orientation.attitude * q.transpose(), q * orientation.base};
}

SceneOptions OrientSceneOptions(int points, unsigned seed) {
    SceneOptions options;
    options.points = points;
    options.seed = seed;
    options.keypoints = false;
    options.min_depth = 4.0;
    options.max_depth = 8.0;
    options.noise_px = 0.5;
    return options;
}

OrientScene MakeOrientScene(const ro::Elements& truth, const SceneOptions& options) {
    const TrueOrientation t{truth.by, truth.bz, truth.omega_rad, truth.phi_rad, truth.kappa_rad};
    const Scene s = MakeScene(t, options);
    OrientScene out;
    out.camera1 = ToCamera(options.camera);
    out.camera2 = ToCamera(options.camera2 ? *options.camera2 : options.camera);
    out.truth = truth;
    out.is_false = s.is_false;
    for (const TiePoint& r : s.tie_points) {
        ro::TiePoint p;
        p.col1_px = r[0];
        p.row1_px = r[1];
        p.col2_px = r[2];
        p.row2_px = r[3];
        out.tie_points.push_back(p);
    }
    return out;
}

ro::Elements RandomElements(std::uint64_t seed, double kappa_max_rad, double tilt_max_rad,
                            double base_max) {
    common::SplitMix64 random(seed);
    const auto uniform = [&](double bound) {
        return bound * (2.0 * static_cast<double>(random.Next() >> 11) * 0x1.0p-53 - 1.0);
    };
    ro::Elements e;
    e.by = uniform(base_max);
    e.bz = uniform(base_max);
    e.omega_rad = uniform(tilt_max_rad);
    e.phi_rad = uniform(tilt_max_rad);
    e.kappa_rad = uniform(kappa_max_rad);
    return e;
}

}  // namespace scene
