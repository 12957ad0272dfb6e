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
// Without options the camera is the built-in one of this build (by default 135135.1351
// pixels per metre, principal point (959.5, 511.5), in-plane angle 0, focal length
// 0.0132 m, a 1920 x 1024 frame); the truth is that of data/example/TRUTH.md. The scene
// itself (testing/scene.h): 240 tie points at depths of 3 to 30 base lengths, 60
// distractors per photograph, both lists shuffled.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "testing/keypoint_files.h"
#include "testing/scene.h"

namespace {

using scene::KeyFileText;
using scene::MakeScene;
using scene::Scene;
using scene::SceneCamera;
using scene::SceneOptions;
using scene::TrueOrientation;

constexpr int kTiePoints = 240;
constexpr int kDistractors = 60;
constexpr int kDims = 128;

// The true orientation of camera 2, angles in degrees.
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
    SceneCamera camera;
    Truth truth;
};

// Reads the whole of `text` as a finite number.
bool ParseNumber(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

// Reads `count` numbers following the option at argv[*at] and moves *at past them.
bool ParseNumbers(int argc, char** argv, int* at, const std::vector<double*>& values) {
    for (double* v : values) {
        if (++*at >= argc || !ParseNumber(argv[*at], v)) return false;
    }
    return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
    SceneCamera& c = o->camera;
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

bool WriteFile(const char* path, const std::string& text) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && written;
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
    const Truth& t = o.truth;
    constexpr double kPi = std::numbers::pi;
    const TrueOrientation truth{t.ey, t.ez, t.omega_deg * kPi / 180, t.phi_deg * kPi / 180,
                                t.kappa_deg * kPi / 180};
    SceneOptions options;
    options.points = kTiePoints;
    options.distractors = kDistractors;
    options.shuffle = true;
    options.seed = o.seed;
    options.camera = o.camera;
    const Scene scene = MakeScene(truth, options);
    if (scene.tie_points.empty()) {
        std::fprintf(stderr, "make_example_scene: the two cameras share too little\n");
        return 1;
    }
    if (!WriteFile(o.files[0], KeyFileText(scene.keys1, kDims)) ||
        !WriteFile(o.files[1], KeyFileText(scene.keys2, kDims))) {
        std::fprintf(stderr, "make_example_scene: could not write the keypoint files\n");
        return 1;
    }
    std::printf(
        "true orientation of camera 2: Y2-Y1 %.5f  Z2-Z1 %.5f  omega %.5f deg  "
        "phi %.5f deg  kappa %.5f deg\n",
        t.ey, t.ez, t.omega_deg, t.phi_deg, t.kappa_deg);
    return 0;
}
