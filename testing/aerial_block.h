// A synthetic aerial block: strips of vertical photographs over terrain with relief, every
// photograph's true position and attitude, and the keypoints each one sees, so that the
// relative orientation of every overlapping pair is known. Shared by tools/make_aerial_block,
// the tests and the benchmarks.
//
// World frame: X east, Y north, Z up, metres. Strip 1 flies towards +X along Y = 0, strip
// s + 1 lies one strip spacing north of strip s. Strips fly alternately east and west (as
// a real block is flown, turning at the end of each strip) unless `one_way` is set. The
// photographs of a strip are numbered in the order they were taken.
//
// A camera's frame is that of orient: x to the right of the photograph, y upwards in it, z
// backwards, away from the scene. A vertical photograph taken flying east has its x axis
// along +X, its y axis along +Y and looks down (-Z); flying west it is turned by 180 degrees
// about Z. Each photograph's attitude adds small random angles to that, and its position
// small random departures from the nominal station (horizontally 2 % of the base, in height
// 2 % of the flying height).
//
// The terrain is a sum of a few waves with wavelengths of about one photograph's footprint,
// its heights spanning `relief` times the flying height. Ground points lie at random on it,
// as densely as about 80 % of `keypoints` per photograph needs; each has one SIFT-like
// descriptor, and every photograph that sees it (the noise-free projection inside the frame
// by at least 2 px; no occlusion) holds a keypoint at its projection with Gaussian noise of
// `noise_px` on column and row and the descriptor perturbed by up to 3 in each value.
// Distractor keypoints with descriptors of their own fill each photograph up to `keypoints`
// (at least a tenth of them). The keypoints of a photograph come in random order.
//
// Everything depends on the options alone (not on the thread count): the same options give
// the same block and the same files, byte for byte.
#pragma once

#include <Eigen/Core>
#include <optional>
#include <string>
#include <vector>

#include "camera/camera_model.h"
#include "testing/keypoint_files.h"

namespace scene {

// The camera of the aerial block when none is given: a 2000 x 1500 px frame of 5 um pixels
// behind a 10 mm lens (2000 px focal length), principal point at the frame's centre.
ro::Camera AerialCamera();

struct AerialBlockOptions {
    int strips = 3;
    int photos = 10;             // per strip
    double overlap = 0.6;        // along the strip, share of the photograph's length
    double side_overlap = 0.25;  // between neighbouring strips
    int keypoints = 10000;       // per photograph, about
    unsigned seed = 1;
    double noise_px = 0.5;
    double relief = 0.1;        // terrain height range over the flying height
    double attitude_deg = 2.0;  // largest departure of omega, phi and kappa from vertical
    bool one_way = false;       // every strip flown east
    ro::Camera camera = AerialCamera();
};

// Why options cannot make a block (empty when they can): counts, shares and ranges.
std::string CheckAerialOptions(const AerialBlockOptions& options);

struct AerialPhotograph {
    std::string name;  // "p01_001": strip and photograph, 1-based
    int strip = 0;     // 0-based
    int index = 0;     // 0-based, in flight order
    Eigen::Vector3d position_m = Eigen::Vector3d::Zero();
    // Turns a direction given in the camera's frame into the world frame.
    Eigen::Matrix3d rotation = Eigen::Matrix3d::Identity();
    std::vector<int> seen;  // the ground points it sees, ascending
};

// The dependent relative orientation of photograph 2 with respect to photograph 1 in
// orient's terms: camera 1's frame is the model frame.
struct AerialPair {
    int photo1 = 0;  // indices into AerialBlock::photographs, photo1 < photo2
    int photo2 = 0;
    bool across_strips = false;
    int shared_points = 0;                                      // ground points both see
    Eigen::Vector3d base_direction = Eigen::Vector3d::UnitX();  // unit, camera 1 -> camera 2
    Eigen::Matrix3d rotation = Eigen::Matrix3d::Identity();     // camera 2's frame -> model
    // by = By / Bx, bz = Bz / Bx, and the angles of rotation = Rx(omega) Ry(phi) Rz(kappa)
    // in degrees; only where |Bx| / |B| >= 0.1, as orient defines them.
    struct Elements {
        double by = 0.0;
        double bz = 0.0;
        double omega_deg = 0.0;
        double phi_deg = 0.0;
        double kappa_deg = 0.0;
    };
    std::optional<Elements> elements;
};

struct AerialBlock {
    AerialBlockOptions options;
    double flying_height_m = 0.0;  // nominal, above the terrain's mean height
    double base_m = 0.0;           // nominal distance of neighbouring photographs of a strip
    double strip_spacing_m = 0.0;
    std::vector<Eigen::Vector3d> ground_points;
    std::vector<unsigned char> descriptors;     // 128 values per ground point
    std::vector<AerialPhotograph> photographs;  // strip by strip, each in flight order
    // The overlapping pairs: those that share at least 10 % of the ground points the one
    // that sees fewer sees, and at least 20 points; ordered by photo1, then photo2.
    std::vector<AerialPair> pairs;
};

// The block of `options` (which CheckAerialOptions accepts).
AerialBlock MakeAerialBlock(const AerialBlockOptions& options);

// The keypoints of one photograph: what it sees, then distractors, shuffled.
std::vector<KeyRecord> AerialKeypoints(const AerialBlock& block, int photograph);

// The text of truth.json: "options" (as given, "flight": "alternating" or "one_way"),
// "frame_px", "flying_height_m", "base_m", "strip_spacing_m", "ground_points", the
// "conventions" in words, "photographs" (per photograph: "name", "key_file", "strip" and
// "index" from 1, "position_m", "rotation" as rows, camera to world, "ground_points_seen")
// and "pairs" (per listed pair: "photo1", "photo2", "kind" ("along_strip" or
// "across_strips"), "shared_points", "base_direction", "rotation" as rows, and "elements"
// {"by", "bz", "omega_deg", "phi_deg", "kappa_deg"} or null). Numbers are the shortest
// decimals that read back exactly; one photograph or pair per line.
std::string AerialTruthJson(const AerialBlock& block);

// Writes the block into the existing folder `dir`: NAME.key for every photograph,
// camera.cam, photographs.txt (the key files' names, one per line:
// a list file's paths are relative to its folder), pairs.txt ("NAME1 NAME2" per
// line) and truth.json. Uses up to `threads` threads. Returns what failed ("DIR/x.key:
// cannot write: No space left on device"), or nothing.
std::optional<std::string> WriteAerialBlock(const AerialBlock& block, const std::string& dir,
                                            int threads);

}  // namespace scene
