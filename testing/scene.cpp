#include "scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

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

std::array<double, 2> PlaneToPixel(const SceneCamera& c, double x, double y) {
    const double ct = std::cos(c.theta), st = std::sin(c.theta);
    return {c.principal_i + c.pixels_per_metre * (x * ct + y * st),
            c.principal_j + c.pixels_per_metre * (x * st - y * ct)};
}

bool InFrame(const SceneCamera& c, double i, double j) {
    return i >= 0 && i < c.columns && j >= 0 && j < c.rows;
}

// Moves a share of the tie points' second positions far off, spread through the list.
void AddFalseMatches(std::vector<TiePoint>& rows, double fraction, std::mt19937& rng,
                     const SceneCamera& c) {
    const int count = static_cast<int>(std::lround(fraction * static_cast<double>(rows.size())));
    std::uniform_real_distribution<double> col(0.0, c.columns - 1.0);
    std::uniform_real_distribution<double> row(0.0, c.rows - 1.0);
    for (int k = 0; k < count; ++k) {
        TiePoint& r =
            rows[static_cast<std::size_t>(k) * rows.size() / static_cast<std::size_t>(count)];
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

Scene MakeScene(const TrueOrientation& truth, const SceneOptions& options) {
    const SceneCamera& c = options.camera;
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
    Scene scene;
    std::vector<KeyRecord> first, second;
    for (long draws = 0; static_cast<int>(scene.tie_points.size()) < options.points; ++draws) {
        if (draws == max_draws) return {};
        const double i1 = col(rng), j1 = row(rng), d = depth(rng);
        const auto [x1, y1] = PixelToPlane(c, i1, j1);
        // The point at depth d along the ray of camera 1, relative to camera 2, turned into
        // the frame of camera 2: q = M^T (P - base).
        const std::array<double, 3> p = {x1 * d / f - base[0], y1 * d / f - base[1], -d - base[2]};
        std::array<double, 3> q{};
        for (int r = 0; r < 3; ++r) q[r] = m[0][r] * p[0] + m[1][r] * p[1] + m[2][r] * p[2];
        if (q[2] >= 0) continue;  // behind camera 2
        const auto [i2, j2] = PlaneToPixel(c, -f * q[0] / q[2], -f * q[1] / q[2]);
        if (!InFrame(c, i2, j2)) continue;
        scene.tie_points.push_back({i1, j1, i2, j2});
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
    AddFalseMatches(scene.tie_points, options.outlier_fraction, rng, c);
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
