// Writes the keypoint files of a synthetic two-camera scene with a known relative
// orientation: tie points whose descriptors are shared (up to a small perturbation) by
// both photographs, plus distractor keypoints that have no partner.
//
//   make_example_scene img1.key img2.key [seed]
//
// The camera is the built-in one of `relative`: 135135.1351 pixels per metre, principal
// point (959.5, 511.5), focal length 0.0132 m, a 1920 x 1024 frame. Camera 1 sits at the
// origin without rotation and looks along -z; camera 2 sits at (1, Ey, Ez) with the
// attitude M = Rx(omega) Ry(phi) Rz(kappa).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPixelsPerMetre = 135135.1351;
constexpr double kPrincipalI = 959.5;
constexpr double kPrincipalJ = 511.5;
constexpr double kFocalLength = 0.0132;
constexpr int kFrameColumns = 1920;
constexpr int kFrameRows = 1024;
constexpr double kPi = 3.14159265358979323846;

constexpr int kTiePoints = 240;
constexpr int kDistractors = 60;
constexpr int kDims = 128;

// The true orientation of camera 2.
constexpr double kEy = -0.1;
constexpr double kEz = 0.05;
constexpr double kOmegaDeg = -1.2;
constexpr double kPhiDeg = 0.8;
constexpr double kKappaDeg = 1.5;

struct Key {
    double row, col, scale, ori;
    std::array<int, kDims> descrip;
};

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix Rotation(double a, double b, double c) {
    const double sa = std::sin(a), ca = std::cos(a), sb = std::sin(b), cb = std::cos(b);
    const double sc = std::sin(c), cc = std::cos(c);
    return {{{cb * cc, -cb * sc, sb},
             {ca * sc + sa * sb * cc, ca * cc - sa * sb * sc, -sa * cb},
             {sa * sc - ca * sb * cc, sa * cc + ca * sb * sc, ca * cb}}};
}

// A SIFT-like descriptor: sparse, non-negative, clipped and scaled to 0..255.
std::array<int, kDims> RandomDescriptor(std::mt19937& rng) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::array<double, kDims> v{};
    double norm = 0.0;
    for (double& x : v) {
        x = uniform(rng) < 0.45 ? 0.0 : std::pow(uniform(rng), 3.0);
        norm += x * x;
    }
    std::array<int, kDims> d{};
    for (int k = 0; k < kDims; ++k) {
        const double x = std::min(0.2, v[k] / std::sqrt(norm)) * 512.0 * 2.0;
        d[k] = std::min(255, static_cast<int>(x));
    }
    return d;
}

std::array<int, kDims> Perturb(const std::array<int, kDims>& d, std::mt19937& rng) {
    std::uniform_int_distribution<int> jitter(-3, 3);
    std::array<int, kDims> out = d;
    for (int& x : out) x = std::clamp(x + jitter(rng), 0, 255);
    return out;
}

bool InFrame(double i, double j) { return i >= 0 && i < kFrameColumns && j >= 0 && j < kFrameRows; }

bool WriteKeys(const char* path, const std::vector<Key>& keys) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    std::fprintf(f, "%zu %d\n", keys.size(), kDims);
    for (const Key& k : keys) {
        std::fprintf(f, "%.2f %.2f %.2f %.3f", k.row, k.col, k.scale, k.ori);
        for (int d = 0; d < kDims; ++d)
            std::fprintf(f, "%s%d", d % 20 == 0 ? "\n " : " ", k.descrip[d]);
        std::fputc('\n', f);
    }
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_example_scene img1.key img2.key [seed]\n");
        return 2;
    }
    std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::stoul(argv[3])) : 20261208u);
    std::uniform_real_distribution<double> col(0.0, kFrameColumns - 1.0);
    std::uniform_real_distribution<double> row(0.0, kFrameRows - 1.0);
    std::uniform_real_distribution<double> depth(3.0, 30.0);
    std::uniform_real_distribution<double> scale(1.0, 8.0);
    std::uniform_real_distribution<double> ori(-kPi, kPi);

    const Matrix m = Rotation(kOmegaDeg * kPi / 180, kPhiDeg * kPi / 180, kKappaDeg * kPi / 180);
    const std::array<double, 3> base = {1.0, kEy, kEz};
    std::vector<Key> keys1, keys2;
    while (static_cast<int>(keys1.size()) < kTiePoints) {
        const double i1 = col(rng), j1 = row(rng), d = depth(rng);
        const double x1 = (i1 - kPrincipalI) / kPixelsPerMetre;
        const double y1 = (kPrincipalJ - j1) / kPixelsPerMetre;
        const std::array<double, 3> p = {x1 * d / kFocalLength - base[0],
                                         y1 * d / kFocalLength - base[1], -d - base[2]};
        // q = M^T (P - base): the point in the frame of camera 2.
        std::array<double, 3> q{};
        for (int r = 0; r < 3; ++r) q[r] = m[0][r] * p[0] + m[1][r] * p[1] + m[2][r] * p[2];
        if (q[2] >= 0) continue;
        const double i2 = kPrincipalI + kPixelsPerMetre * (-kFocalLength * q[0] / q[2]);
        const double j2 = kPrincipalJ - kPixelsPerMetre * (-kFocalLength * q[1] / q[2]);
        if (!InFrame(i2, j2)) continue;
        const double s = scale(rng), o = ori(rng);
        const auto descrip = RandomDescriptor(rng);
        keys1.push_back(Key{j1, i1, s, o, descrip});
        keys2.push_back(Key{j2, i2, s * 1.02, o + 0.01, Perturb(descrip, rng)});
    }
    for (int k = 0; k < kDistractors; ++k) {
        keys1.push_back(Key{row(rng), col(rng), scale(rng), ori(rng), RandomDescriptor(rng)});
        keys2.push_back(Key{row(rng), col(rng), scale(rng), ori(rng), RandomDescriptor(rng)});
    }
    std::shuffle(keys1.begin(), keys1.end(), rng);
    std::shuffle(keys2.begin(), keys2.end(), rng);
    if (!WriteKeys(argv[1], keys1) || !WriteKeys(argv[2], keys2)) {
        std::fprintf(stderr, "make_example_scene: could not write the keypoint files\n");
        return 1;
    }
    std::printf(
        "true orientation of camera 2: Y2-Y1 %.5f  Z2-Z1 %.5f  omega %.5f deg  "
        "phi %.5f deg  kappa %.5f deg\n",
        kEy, kEz, kOmegaDeg, kPhiDeg, kKappaDeg);
    return 0;
}
