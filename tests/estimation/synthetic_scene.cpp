#include "synthetic_scene.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// The camera, written out independently of the code under test.
constexpr double kS = 135135.1351;
constexpr double kI0 = 959.5;
constexpr double kJ0 = 511.5;
constexpr double kF = 0.0132;
constexpr double kColumns = 1920.0;
constexpr double kRows = 1024.0;
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

bool InFrame(double i, double j) {
    return i >= 0.0 && i <= kColumns - 1 && j >= 0.0 && j <= kRows - 1;
}

}  // namespace

std::vector<std::array<double, 4>> MakeTiePoints(const TrueOrientation& truth,
                                                 const SceneOptions& options) {
    std::mt19937 rng(options.seed);
    std::uniform_real_distribution<double> column(0.0, kColumns - 1);
    std::uniform_real_distribution<double> row(0.0, kRows - 1);
    std::uniform_real_distribution<double> depth(options.min_depth, options.max_depth);
    std::normal_distribution<double> noise(0.0, options.noise_px > 0 ? options.noise_px : 1.0);
    const Matrix m = Attitude(truth);
    const std::array<double, 3> base = {1.0, truth.ey, truth.ez};

    std::vector<std::array<double, 4>> rows;
    while (static_cast<int>(rows.size()) < options.points) {
        const double i1 = column(rng);
        const double j1 = row(rng);
        const double d = depth(rng);
        const double x1 = (i1 - kI0) / kS;
        const double y1 = (kJ0 - j1) / kS;
        // The point at depth d along the ray of camera 1, seen from camera 2.
        const std::array<double, 3> rel = {x1 * d / kF - base[0], y1 * d / kF - base[1],
                                           -d - base[2]};
        std::array<double, 3> q{};
        for (int c = 0; c < 3; ++c) q[c] = m[0][c] * rel[0] + m[1][c] * rel[1] + m[2][c] * rel[2];
        if (q[2] >= 0.0) continue;  // behind camera 2
        const double i2 = kI0 + kS * (-kF * q[0] / q[2]);
        const double j2 = kJ0 - kS * (-kF * q[1] / q[2]);
        if (!InFrame(i2, j2)) continue;
        rows.push_back({i1, j1, i2, j2});
    }
    if (options.noise_px > 0) {
        for (auto& r : rows) {
            for (double& v : r) v += noise(rng);
        }
    }
    const int outliers = static_cast<int>(std::lround(options.outlier_fraction * options.points));
    for (int k = 0; k < outliers; ++k) {
        // Spread the false matches through the list; move the second position far off.
        auto& r =
            rows[static_cast<std::size_t>(k) * rows.size() / static_cast<std::size_t>(outliers)];
        double i2 = 0.0;
        double j2 = 0.0;
        do {
            i2 = column(rng);
            j2 = row(rng);
        } while (std::hypot(i2 - r[2], j2 - r[3]) < 50.0);
        r[2] = i2;
        r[3] = j2;
    }
    return rows;
}

MatchArray ToMatchArray(const std::vector<std::array<double, 4>>& rows) {
    MatchArray matches;
    matches.reserve(rows.size());
    for (const auto& r : rows) {
        matches.push_back({static_cast<float>(r[1]), static_cast<float>(r[0]),
                           static_cast<float>(r[3]), static_cast<float>(r[2])});
    }
    return matches;
}

namespace {

KeypointSt MakeKey(double i, double j, std::vector<int> descrip) {
    KeypointSt k;
    k.row = static_cast<float>(j);
    k.col = static_cast<float>(i);
    k.scale = 2.0f;
    k.ori = 0.0f;
    k.descrip = std::move(descrip);
    return k;
}

std::vector<int> RandomDescriptor(std::mt19937& rng) {
    std::uniform_int_distribution<int> value(0, 255);
    std::vector<int> d(kDims);
    for (int& v : d) v = value(rng);
    return d;
}

}  // namespace

KeypointPair ToKeypoints(const std::vector<std::array<double, 4>>& rows, int distractors,
                         unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> column(0.0, kColumns - 1);
    std::uniform_real_distribution<double> row(0.0, kRows - 1);
    KeypointPair pair;
    for (const auto& r : rows) {
        const std::vector<int> d = RandomDescriptor(rng);
        pair.keys1.push_back(MakeKey(r[0], r[1], d));
        pair.keys2.push_back(MakeKey(r[2], r[3], d));
    }
    std::reverse(pair.keys2.begin(), pair.keys2.end());
    for (int k = 0; k < distractors; ++k) {
        pair.keys1.push_back(MakeKey(column(rng), row(rng), RandomDescriptor(rng)));
        pair.keys2.push_back(MakeKey(column(rng), row(rng), RandomDescriptor(rng)));
    }
    return pair;
}
