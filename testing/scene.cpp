#include "testing/scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace scene {

namespace {

constexpr int kDims = 128;

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) m[r][c] += a[r][k] * b[k][c];
        }
    }
    return m;
}

// Rx(omega) Ry(phi) Rz(kappa) as the product of the elementary rotations.
Matrix Attitude(const TrueOrientation& t) {
    const double co = std::cos(t.omega), so = std::sin(t.omega);
    const double cp = std::cos(t.phi), sp = std::sin(t.phi);
    const double ck = std::cos(t.kappa), sk = std::sin(t.kappa);
    const Matrix rx = {{{1, 0, 0}, {0, co, -so}, {0, so, co}}};
    const Matrix ry = {{{cp, 0, sp}, {0, 1, 0}, {-sp, 0, cp}}};
    const Matrix rz = {{{ck, -sk, 0}, {sk, ck, 0}, {0, 0, 1}}};
    return Multiply(Multiply(rx, ry), rz);
}

// Pixel position to image-plane position (metres, y up) and back. With theta 0 the
// products by cos and sin are exact.
std::array<double, 2> PixelToPlane(const SceneCamera& c, double i, double j) {
    const double ct = std::cos(c.theta), st = std::sin(c.theta);
    const double di = i - c.principal_i, dj = j - c.principal_j;
    return {(di * ct + dj * st) / c.pixels_per_metre, (di * st - dj * ct) / c.pixels_per_metre};
}

// The image-plane point that a camera without distortion would see at pixel (i, j): the
// rays camera 1's points are drawn along (a distorting camera then sees them elsewhere).
std::array<double, 2> IdealPixelToPlane(const SceneCamera& c, double i, double j) {
    if (c.IsPlain()) return PixelToPlane(c, i, j);
    const double ct = std::cos(c.theta), st = std::sin(c.theta);
    const double fx = c.focal_length * c.pixels_per_metre;
    const double xn = (i - c.principal_i) / fx, yn = (j - c.principal_j) / (fx * c.row_scale);
    return {c.focal_length * (ct * xn + st * yn), c.focal_length * (st * xn - ct * yn)};
}

bool InFrame(const SceneCamera& c, double i, double j) {
    return i >= 0 && i < c.columns && j >= 0 && j < c.rows;
}

// Where camera 2 (attitude m, base b) sees the point p of the model, or false when the point
// lies behind it.
bool Project(const SceneCamera& c, const Matrix& m, const std::array<double, 3>& b,
             const std::array<double, 3>& p, std::array<double, 2>* pixel) {
    // q = M^T (P - base): the point in the frame of camera 2.
    const std::array<double, 3> d = {p[0] - b[0], p[1] - b[1], p[2] - b[2]};
    std::array<double, 3> q{};
    for (int r = 0; r < 3; ++r) q[r] = m[0][r] * d[0] + m[1][r] * d[1] + m[2][r] * d[2];
    if (q[2] >= 0) return false;
    const double f = c.focal_length;
    *pixel = PlaneToPixel(c, -f * q[0] / q[2], -f * q[1] / q[2]);
    return true;
}

// Makes a share of the tie points false matches, spread through the list: the first
// `near_share` of them near their epipolar lines (the model point slid along the ray of
// camera 1), the others far off.
void AddFalseMatches(std::vector<TiePoint>& rows, std::vector<char>& is_false,
                     const std::vector<std::array<double, 3>>& points, const SceneOptions& o,
                     const SceneCamera& c2, const Matrix& m, const std::array<double, 3>& b,
                     std::mt19937& rng) {
    const int count =
        static_cast<int>(std::lround(o.outlier_fraction * static_cast<double>(rows.size())));
    const int near = static_cast<int>(std::lround(o.near_epipolar_share * count));
    std::uniform_real_distribution<double> col(0.0, c2.columns - 1.0);
    std::uniform_real_distribution<double> row(0.0, c2.rows - 1.0);
    std::uniform_real_distribution<double> slide(0.6, 1.8);
    std::uniform_real_distribution<double> turn(-std::numbers::pi, std::numbers::pi);
    std::uniform_real_distribution<double> off(1.0, 3.0);
    for (int k = 0; k < count; ++k) {
        const std::size_t index =
            static_cast<std::size_t>(k) * rows.size() / static_cast<std::size_t>(count);
        TiePoint& r = rows[index];
        is_false[index] = 1;
        std::array<double, 2> moved{};
        const std::array<double, 3>& p = points[index];
        const double s = k < near ? slide(rng) : 0.0;
        if (k < near && Project(c2, m, b, {s * p[0], s * p[1], s * p[2]}, &moved)) {
            const double a = turn(rng);
            const double by = off(rng);
            r[2] = moved[0] + by * std::cos(a);
            r[3] = moved[1] + by * std::sin(a);
            continue;
        }
        double i2 = 0.0;
        double j2 = 0.0;
        do {
            i2 = col(rng);
            j2 = row(rng);
        } while (std::hypot(i2 - r[2], j2 - r[3]) < 50.0);
        r[2] = i2;
        r[3] = j2;
    }
}

}  // namespace

SceneCamera ToSceneCamera(const ro::Camera& camera) {
    SceneCamera c;
    c.pixels_per_metre = camera.pixels_per_metre;
    c.principal_i = camera.principal_column_px;
    c.principal_j = camera.principal_row_px;
    c.theta = camera.in_plane_angle_rad;
    c.focal_length = camera.focal_length_m;
    c.columns = 2.0 * camera.principal_column_px + 1.0;
    c.rows = 2.0 * camera.principal_row_px + 1.0;
    c.row_scale = camera.row_scale;
    c.k1 = camera.distortion.k1;
    c.k2 = camera.distortion.k2;
    c.k3 = camera.distortion.k3;
    c.p1 = camera.distortion.p1;
    c.p2 = camera.distortion.p2;
    return c;
}

ro::Camera ToCamera(const SceneCamera& camera) {
    ro::Camera c;
    c.focal_length_m = camera.focal_length;
    c.pixels_per_metre = camera.pixels_per_metre;
    c.principal_column_px = camera.principal_i;
    c.principal_row_px = camera.principal_j;
    c.in_plane_angle_rad = camera.theta;
    c.row_scale = camera.row_scale;
    c.distortion = {camera.k1, camera.k2, camera.k3, camera.p1, camera.p2};
    return c;
}

std::array<double, 2> PlaneToPixel(const SceneCamera& c, double x, double y) {
    const double ct = std::cos(c.theta), st = std::sin(c.theta);
    if (c.IsPlain()) {
        return {c.principal_i + c.pixels_per_metre * (x * ct + y * st),
                c.principal_j + c.pixels_per_metre * (x * st - y * ct)};
    }
    // The undistorted normalised point, distorted, on the pixel grid of fx and fy.
    const double f = c.focal_length;
    const double xn = (x * ct + y * st) / f, yn = (x * st - y * ct) / f;
    const double r2 = xn * xn + yn * yn;
    const double radial = 1.0 + c.k1 * r2 + c.k2 * r2 * r2 + c.k3 * r2 * r2 * r2;
    const double xd = xn * radial + 2.0 * c.p1 * xn * yn + c.p2 * (r2 + 2.0 * xn * xn);
    const double yd = yn * radial + c.p1 * (r2 + 2.0 * yn * yn) + 2.0 * c.p2 * xn * yn;
    const double fx = f * c.pixels_per_metre;
    return {c.principal_i + fx * xd, c.principal_j + fx * c.row_scale * yd};
}

Scene MakeScene(const TrueOrientation& truth, const SceneOptions& options) {
    const SceneCamera& c = options.camera;
    const SceneCamera& c2 = options.camera2 ? *options.camera2 : c;
    std::mt19937 rng(options.seed);
    std::uniform_real_distribution<double> col(0.0, c.columns - 1.0);
    std::uniform_real_distribution<double> row(0.0, c.rows - 1.0);
    std::uniform_real_distribution<double> depth(options.min_depth, options.max_depth);
    std::uniform_real_distribution<double> scale(1.0, 8.0);
    std::uniform_real_distribution<double> ori(-std::numbers::pi, std::numbers::pi);

    const Matrix m = Attitude(truth);
    const std::array<double, 3> base = {1.0, truth.ey, truth.ez};
    const double f = c.focal_length;
    // A camera 2 that sees almost nothing of what camera 1 sees would never be done.
    const long max_draws = 1000L * std::max(options.points, 1);
    const double plane_depth = 0.5 * (options.min_depth + options.max_depth);
    Scene scene;
    std::vector<KeyRecord> first, second;
    std::vector<std::array<double, 3>> points;
    for (long draws = 0; static_cast<int>(scene.tie_points.size()) < options.points; ++draws) {
        if (draws == max_draws) return {};
        double i1 = col(rng), j1 = row(rng);
        double d = depth(rng);
        const auto [x1, y1] = IdealPixelToPlane(c, i1, j1);
        if (!c.IsPlain()) {
            const std::array<double, 2> seen = PlaneToPixel(c, x1, y1);
            if (!InFrame(c, seen[0], seen[1])) continue;
            i1 = seen[0];
            j1 = seen[1];
        }
        if (options.planar) {
            // The plane -z = plane_depth + tan(tilt) y, met by the ray at depth d.
            d = plane_depth / (1.0 - std::tan(options.plane_tilt) * y1 / f);
            if (!(d > 0.0)) continue;
        }
        // The point at depth d along the ray of camera 1.
        const std::array<double, 3> p = {x1 * d / f, y1 * d / f, -d};
        std::array<double, 2> pixel2{};
        if (!Project(c2, m, base, p, &pixel2) || !InFrame(c2, pixel2[0], pixel2[1])) continue;
        const double i2 = pixel2[0], j2 = pixel2[1];
        scene.tie_points.push_back({i1, j1, i2, j2});
        points.push_back(p);
        if (!options.keypoints) continue;
        const double s = scale(rng), o = ori(rng);
        std::vector<int> descrip = SiftLikeDescriptor(rng, kDims);
        std::vector<int> perturbed = Perturbed(descrip, rng);
        first.push_back(KeyRecord{j1, i1, s, o, std::move(descrip)});
        second.push_back(KeyRecord{j2, i2, s * 1.02, o + 0.01, std::move(perturbed)});
    }
    if (options.noise_px > 0) {
        std::normal_distribution<double> noise(0.0, options.noise_px);
        for (TiePoint& r : scene.tie_points) {
            for (double& v : r) v += noise(rng);
        }
    }
    scene.is_false.assign(scene.tie_points.size(), 0);
    AddFalseMatches(scene.tie_points, scene.is_false, points, options, c2, m, base, rng);
    if (!options.keypoints) return scene;
    for (std::size_t k = 0; k < scene.tie_points.size(); ++k) {
        const TiePoint& r = scene.tie_points[k];
        first[k].col = r[0];
        first[k].row = r[1];
        second[k].col = r[2];
        second[k].row = r[3];
    }
    for (int k = 0; k < options.distractors; ++k) {
        first.push_back(
            KeyRecord{row(rng), col(rng), scale(rng), ori(rng), SiftLikeDescriptor(rng, kDims)});
        second.push_back(
            KeyRecord{row(rng), col(rng), scale(rng), ori(rng), SiftLikeDescriptor(rng, kDims)});
    }
    if (options.shuffle) {
        std::shuffle(first.begin(), first.end(), rng);
        std::shuffle(second.begin(), second.end(), rng);
    }
    scene.keys1 = std::move(first);
    scene.keys2 = std::move(second);
    return scene;
}

std::vector<TiePoint> MakeTiePoints(const TrueOrientation& truth, const SceneOptions& options) {
    SceneOptions tie_points_only = options;
    tie_points_only.keypoints = false;
    return MakeScene(truth, tie_points_only).tie_points;
}

MatchArray ToMatchArray(const std::vector<TiePoint>& rows) {
    MatchArray matches;
    matches.reserve(rows.size());
    for (const TiePoint& r : rows) {
        matches.push_back({static_cast<float>(r[1]), static_cast<float>(r[0]),
                           static_cast<float>(r[3]), static_cast<float>(r[2])});
    }
    return matches;
}

}  // namespace scene
