// Writes the keypoint files of a synthetic two-camera scene with a known relative
// orientation: tie points whose descriptors are shared (up to a small perturbation) by
// both photographs, plus distractor keypoints that have no partner.
//
//   make_example_scene img1.key img2.key [seed] [options]
//
// Options (each followed by its numbers):
//   --camera S I0 J0 THETA F   pixels per metre, principal point (column, row) in pixels,
//                              in-plane angle in radians, focal length in metres
//   --frame COLUMNS ROWS       frame size in pixels
//   --truth EY EZ OMEGA PHI KAPPA
//                              base components of camera 2 (X is 1) and its angles, degrees
//
// Without options the camera is the default built-in one of `relative`: 135135.1351
// pixels per metre, principal point (959.5, 511.5), in-plane angle 0, focal length
// 0.0132 m, a 1920 x 1024 frame; the truth is that of data/example/TRUTH.md. Camera 1
// sits at the origin without rotation and looks along -z; camera 2 sits at (1, Ey, Ez)
// with the attitude M = Rx(omega) Ry(phi) Rz(kappa).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr int kTiePoints = 240;
constexpr int kDistractors = 60;
constexpr int kDims = 128;
constexpr long kMaxDraws = 1000L * kTiePoints;

// The interior orientation of the camera that takes both photographs.
struct Camera {
    double pixels_per_metre = 135135.1351;
    double principal_i = 959.5;
    double principal_j = 511.5;
    double theta = 0.0;  // radians
    double focal_length = 0.0132;
    double columns = 1920;
    double rows = 1024;
};

// The true orientation of camera 2.
struct Truth {
    double ey = -0.1;
    double ez = 0.05;
    double omega_deg = -1.2;
    double phi_deg = 0.8;
    double kappa_deg = 1.5;
};

struct Options {
    std::vector<const char*> files;
    unsigned seed = 20261208u;
    Camera camera;
    Truth truth;
};

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

bool InFrame(const Camera& c, double i, double j) {
    return i >= 0 && i < c.columns && j >= 0 && j < c.rows;
}

// Pixel position to image-plane position. With theta 0 the products by cos and sin are
// exact, so the default scene comes out as it always has.
std::array<double, 2> PixelToPlane(const Camera& c, double i, double j) {
    const double ct = std::cos(c.theta), st = std::sin(c.theta);
    const double di = i - c.principal_i, dj = j - c.principal_j;
    return {(di * ct + dj * st) / c.pixels_per_metre, (di * st - dj * ct) / c.pixels_per_metre};
}

std::array<double, 2> PlaneToPixel(const Camera& c, double x, double y) {
    const double ct = std::cos(c.theta), st = std::sin(c.theta);
    return {c.principal_i + c.pixels_per_metre * (x * ct + y * st),
            c.principal_j + c.pixels_per_metre * (x * st - y * ct)};
}

// Reads the whole of `text` as a finite number.
bool ParseNumber(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

// Reads `count` numbers following the option at argv[*at] and moves *at past them.
bool ParseNumbers(int argc, char** argv, int* at, std::vector<double*> values) {
    for (double* v : values) {
        if (++*at >= argc || !ParseNumber(argv[*at], v)) return false;
    }
    return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
    Camera& c = o->camera;
    Truth& t = o->truth;
    std::vector<const char*> positional;
    for (int a = 1; a < argc; ++a) {
        bool ok = true;
        if (std::strcmp(argv[a], "--camera") == 0) {
            ok = ParseNumbers(
                argc, argv, &a,
                {&c.pixels_per_metre, &c.principal_i, &c.principal_j, &c.theta, &c.focal_length});
        } else if (std::strcmp(argv[a], "--frame") == 0) {
            ok = ParseNumbers(argc, argv, &a, {&c.columns, &c.rows});
        } else if (std::strcmp(argv[a], "--truth") == 0) {
            ok = ParseNumbers(argc, argv, &a,
                              {&t.ey, &t.ez, &t.omega_deg, &t.phi_deg, &t.kappa_deg});
        } else if (std::strncmp(argv[a], "--", 2) == 0) {
            ok = false;
        } else {
            positional.push_back(argv[a]);
        }
        if (!ok) return false;
    }
    if (positional.size() < 2 || positional.size() > 3) return false;
    if (positional.size() == 3) {
        char* end = nullptr;
        const unsigned long seed = std::strtoul(positional[2], &end, 10);
        if (end == positional[2] || *end != '\0') return false;
        o->seed = static_cast<unsigned>(seed);
    }
    positional.resize(2);
    o->files = positional;
    return c.pixels_per_metre > 0 && c.focal_length > 0 && c.columns >= 1 && c.rows >= 1;
}

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
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        std::fprintf(stderr,
                     "usage: make_example_scene img1.key img2.key [seed] [--camera S I0 J0 "
                     "THETA F] [--frame COLUMNS ROWS] [--truth EY EZ OMEGA PHI KAPPA]\n");
        return 2;
    }
    const Camera& c = o.camera;
    const Truth& t = o.truth;
    std::mt19937 rng(o.seed);
    std::uniform_real_distribution<double> col(0.0, c.columns - 1.0);
    std::uniform_real_distribution<double> row(0.0, c.rows - 1.0);
    std::uniform_real_distribution<double> depth(3.0, 30.0);
    std::uniform_real_distribution<double> scale(1.0, 8.0);
    std::uniform_real_distribution<double> ori(-kPi, kPi);

    const Matrix m =
        Rotation(t.omega_deg * kPi / 180, t.phi_deg * kPi / 180, t.kappa_deg * kPi / 180);
    const std::array<double, 3> base = {1.0, t.ey, t.ez};
    const double f = c.focal_length;
    std::vector<Key> keys1, keys2;
    // A camera 2 that sees almost nothing of what camera 1 sees would never be done.
    for (long draws = 0; static_cast<int>(keys1.size()) < kTiePoints; ++draws) {
        if (draws == kMaxDraws) {
            std::fprintf(stderr, "make_example_scene: the two cameras share too little\n");
            return 1;
        }
        const double i1 = col(rng), j1 = row(rng), d = depth(rng);
        const auto [x1, y1] = PixelToPlane(c, i1, j1);
        const std::array<double, 3> p = {x1 * d / f - base[0], y1 * d / f - base[1], -d - base[2]};
        // q = M^T (P - base): the point in the frame of camera 2.
        std::array<double, 3> q{};
        for (int r = 0; r < 3; ++r) q[r] = m[0][r] * p[0] + m[1][r] * p[1] + m[2][r] * p[2];
        if (q[2] >= 0) continue;
        const auto [i2, j2] = PlaneToPixel(c, -f * q[0] / q[2], -f * q[1] / q[2]);
        if (!InFrame(c, i2, j2)) continue;
        const double s = scale(rng), o2 = ori(rng);
        const auto descrip = RandomDescriptor(rng);
        keys1.push_back(Key{j1, i1, s, o2, descrip});
        keys2.push_back(Key{j2, i2, s * 1.02, o2 + 0.01, Perturb(descrip, rng)});
    }
    for (int k = 0; k < kDistractors; ++k) {
        keys1.push_back(Key{row(rng), col(rng), scale(rng), ori(rng), RandomDescriptor(rng)});
        keys2.push_back(Key{row(rng), col(rng), scale(rng), ori(rng), RandomDescriptor(rng)});
    }
    std::shuffle(keys1.begin(), keys1.end(), rng);
    std::shuffle(keys2.begin(), keys2.end(), rng);
    if (!WriteKeys(o.files[0], keys1) || !WriteKeys(o.files[1], keys2)) {
        std::fprintf(stderr, "make_example_scene: could not write the keypoint files\n");
        return 1;
    }
    std::printf(
        "true orientation of camera 2: Y2-Y1 %.5f  Z2-Z1 %.5f  omega %.5f deg  "
        "phi %.5f deg  kappa %.5f deg\n",
        t.ey, t.ez, t.omega_deg, t.phi_deg, t.kappa_deg);
    return 0;
}
