#include "testing/aerial_block.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <random>

#include "camera/camera_file.h"
#include "common/angles.h"
#include "common/random.h"
#include "common/thread_pool.h"
#include "testing/scene.h"

namespace scene {

namespace {

using common::kDegreesPerRadian;
using common::kRadiansPerDegree;

constexpr int kDims = 128;
constexpr double kFlyingHeightM = 1000.0;
constexpr double kSeenShare = 0.8;           // of the keypoints, ground points seen
constexpr double kMinDistractorShare = 0.1;  // of the keypoints
constexpr double kEdgePx = 2.0;              // a seen point lies this far inside the frame
constexpr double kStationJitter = 0.02;      // of the base, horizontally
constexpr double kHeightJitter = 0.02;       // of the flying height
// Pairs listed: those that share this share of the fewer points either photograph sees.
// A corner overlap of 5 % (the next photograph but one of a neighbouring strip at 60 % and
// 25 % overlap) does not determine an orientation; 15 % (the next one) does.
constexpr double kMinSharedShare = 0.1;
constexpr int kMinSharedPoints = 20;
constexpr double kMinBaseXForElements = 0.1;    // |Bx| / |B| where orient defines by and bz
constexpr std::size_t kDescriptorChunk = 4096;  // ground points per random stream

// Independent random streams: one per purpose and item, derived from the seed alone.
std::uint64_t StreamSeed(unsigned seed, std::uint64_t purpose, std::uint64_t item) {
    common::SplitMix64 mix(static_cast<std::uint64_t>(seed) * 0x9e3779b97f4a7c15ULL ^
                           (purpose << 56) ^ item);
    mix.Next();
    return mix.Next();
}

std::mt19937 Stream(unsigned seed, std::uint64_t purpose, std::uint64_t item) {
    const std::uint64_t s = StreamSeed(seed, purpose, item);
    std::seed_seq seq{static_cast<std::uint32_t>(s), static_cast<std::uint32_t>(s >> 32)};
    return std::mt19937(seq);
}

enum Purpose : std::uint64_t { kLayout = 1, kDescriptors = 2, kKeypoints = 3, kPointShape = 4 };

// The elementary rotations, right-handed, on column vectors: written out here rather than
// taken from the code under test.
Eigen::Matrix3d Rx(double a) {
    Eigen::Matrix3d m;
    m << 1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a);
    return m;
}
Eigen::Matrix3d Ry(double a) {
    Eigen::Matrix3d m;
    m << std::cos(a), 0, std::sin(a), 0, 1, 0, -std::sin(a), 0, std::cos(a);
    return m;
}
Eigen::Matrix3d Rz(double a) {
    Eigen::Matrix3d m;
    m << std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a), 0, 0, 0, 1;
    return m;
}

struct Wave {
    double kx = 0.0;
    double ky = 0.0;
    double phase = 0.0;
    double amplitude = 0.0;
};

// A few plane waves with wavelengths of 0.7 to 2 footprints in random directions, scaled
// so that the heights stay within +-half_range.
std::vector<Wave> MakeTerrain(std::mt19937& rng, double footprint_m, double half_range_m) {
    std::uniform_real_distribution<double> wavelength(0.7 * footprint_m, 2.0 * footprint_m);
    std::uniform_real_distribution<double> angle(-std::numbers::pi, std::numbers::pi);
    const double weights[] = {1.0, 0.7, 0.5, 0.35};
    double total = 0.0;
    for (const double w : weights) total += w;
    std::vector<Wave> waves;
    for (const double w : weights) {
        const double k = 2.0 * std::numbers::pi / wavelength(rng);
        const double direction = angle(rng);
        waves.push_back({k * std::cos(direction), k * std::sin(direction), angle(rng),
                         half_range_m * w / total});
    }
    return waves;
}

double TerrainHeight(const std::vector<Wave>& waves, double x, double y) {
    double z = 0.0;
    for (const Wave& w : waves) z += w.amplitude * std::sin(w.kx * x + w.ky * y + w.phase);
    return z;
}

// Where the photograph sees `point` without noise, or nothing when it lies behind the
// camera or outside the frame's inner part. `max_tan` bounds the tangent of the angle off
// the camera's axis of any ray the frame can see, so that most points are refused before
// they are projected.
std::optional<std::array<double, 2>> Project(const SceneCamera& camera,
                                             const AerialPhotograph& photo,
                                             const Eigen::Vector3d& point, double max_tan) {
    const Eigen::Vector3d q = photo.rotation.transpose() * (point - photo.position_m);
    if (q.z() >= 0.0 || q.x() * q.x() + q.y() * q.y() > max_tan * max_tan * q.z() * q.z()) {
        return std::nullopt;
    }
    const double f = camera.focal_length;
    const std::array<double, 2> pixel =
        PlaneToPixel(camera, -f * q.x() / q.z(), -f * q.y() / q.z());
    if (!(pixel[0] >= kEdgePx && pixel[0] <= camera.columns - 1.0 - kEdgePx &&
          pixel[1] >= kEdgePx && pixel[1] <= camera.rows - 1.0 - kEdgePx)) {
        return std::nullopt;
    }
    return pixel;
}

// Twice the tangent of the angle between the axis and the frame's corners: a generous
// bound that lens distortion does not reach.
double MaxTangent(const SceneCamera& camera) {
    const double focal_px = camera.focal_length * camera.pixels_per_metre;
    return std::hypot(camera.columns, camera.rows / camera.row_scale) / focal_px;
}

int CountShared(const std::vector<int>& a, const std::vector<int>& b) {
    int count = 0;
    auto i = a.begin();
    auto j = b.begin();
    while (i != a.end() && j != b.end()) {
        if (*i < *j) {
            ++i;
        } else if (*j < *i) {
            ++j;
        } else {
            ++count;
            ++i;
            ++j;
        }
    }
    return count;
}

AerialPair RelativeOrientation(const AerialBlock& block, int first, int second) {
    const AerialPhotograph& p1 = block.photographs[static_cast<std::size_t>(first)];
    const AerialPhotograph& p2 = block.photographs[static_cast<std::size_t>(second)];
    AerialPair pair;
    pair.photo1 = first;
    pair.photo2 = second;
    pair.across_strips = p1.strip != p2.strip;
    pair.shared_points = CountShared(p1.seen, p2.seen);
    const Eigen::Vector3d base = p1.rotation.transpose() * (p2.position_m - p1.position_m);
    pair.base_direction = base.normalized();
    pair.rotation = p1.rotation.transpose() * p2.rotation;
    if (std::fabs(pair.base_direction.x()) >= kMinBaseXForElements) {
        const Eigen::Matrix3d& m = pair.rotation;
        // M = Rx(omega) Ry(phi) Rz(kappa): M(0,2) = sin phi, M(1,2) = -sin omega cos phi,
        // M(2,2) = cos omega cos phi, M(0,1) = -cos phi sin kappa, M(0,0) = cos phi cos kappa.
        AerialPair::Elements e;
        e.by = base.y() / base.x();
        e.bz = base.z() / base.x();
        e.phi_deg = std::asin(std::clamp(m(0, 2), -1.0, 1.0)) * kDegreesPerRadian;
        e.omega_deg = std::atan2(-m(1, 2), m(2, 2)) * kDegreesPerRadian;
        e.kappa_deg = std::atan2(-m(0, 1), m(0, 0)) * kDegreesPerRadian;
        pair.elements = e;
    }
    return pair;
}

std::string PhotographName(int strip, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "p%02d_%03d", strip + 1, index + 1);
    return name;
}

// The shortest decimal that reads back as `value`.
std::string Number(double value) {
    char text[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

std::string JsonVector(const Eigen::Vector3d& v) {
    std::string text = "[";
    text.append(Number(v.x())).append(", ").append(Number(v.y())).append(", ");
    return text.append(Number(v.z())).append("]");
}

std::string JsonMatrix(const Eigen::Matrix3d& m) {
    std::string text = "[";
    for (int r = 0; r < 3; ++r) {
        text += r == 0 ? "" : ", ";
        text += JsonVector(m.row(r).transpose());
    }
    return text + "]";
}

std::optional<std::string> WriteText(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return path + ": cannot create: " + std::strerror(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int write_errno = errno;
    if (std::fclose(file) != 0 || !written) {
        return path + ": cannot write: " + std::strerror(written ? errno : write_errno);
    }
    return std::nullopt;
}

}  // namespace

ro::Camera AerialCamera() {
    ro::Camera camera;
    camera.focal_length_m = 0.01;
    camera.pixels_per_metre = 200000.0;
    camera.principal_column_px = 999.5;
    camera.principal_row_px = 749.5;
    return camera;
}

std::string CheckAerialOptions(const AerialBlockOptions& o) {
    if (o.strips < 1 || o.strips > 1000) return "the strips must number 1 to 1000";
    if (o.photos < 1 || o.photos > 10000) return "the photographs per strip must number 1 to 10000";
    if (static_cast<long>(o.strips) * o.photos < 2) return "a block needs two photographs";
    if (static_cast<long>(o.strips) * o.photos > 100000) return "at most 100000 photographs";
    if (!(o.overlap >= 0.0 && o.overlap <= 0.9)) return "the overlap must lie in 0 to 0.9";
    if (!(o.side_overlap >= 0.0 && o.side_overlap <= 0.9)) {
        return "the side overlap must lie in 0 to 0.9";
    }
    if (o.keypoints < 10 || o.keypoints > 1000000) return "the keypoints must number 10 to 1000000";
    if (!(o.noise_px >= 0.0 && o.noise_px <= 10.0)) return "the noise must lie in 0 to 10 px";
    if (!(o.relief >= 0.0 && o.relief <= 0.5)) return "the relief must lie in 0 to 0.5";
    if (!(o.attitude_deg >= 0.0 && o.attitude_deg <= 20.0)) {
        return "the attitude noise must lie in 0 to 20 degrees";
    }
    const std::string camera = ro::CameraProblem(o.camera);
    if (!camera.empty()) return camera;
    return {};
}

AerialBlock MakeAerialBlock(const AerialBlockOptions& options) {
    AerialBlock block;
    block.options = options;
    const SceneCamera camera = ToSceneCamera(options.camera);
    const double focal_px = camera.focal_length * camera.pixels_per_metre;
    const double height = kFlyingHeightM;
    const double length_m = height * camera.columns / focal_px;  // footprint along the strip
    const double width_m = height * camera.rows / (focal_px * camera.row_scale);
    block.flying_height_m = height;
    block.base_m = (1.0 - options.overlap) * length_m;
    block.strip_spacing_m = (1.0 - options.side_overlap) * width_m;

    // The stations, strip by strip in flight order.
    std::mt19937 layout = Stream(options.seed, kLayout, 0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double attitude = options.attitude_deg * kRadiansPerDegree;
    for (int s = 0; s < options.strips; ++s) {
        const bool west = !options.one_way && s % 2 == 1;
        for (int p = 0; p < options.photos; ++p) {
            AerialPhotograph photo;
            photo.name = PhotographName(s, p);
            photo.strip = s;
            photo.index = p;
            const int station = west ? options.photos - 1 - p : p;
            photo.position_m = {
                station * block.base_m + kStationJitter * block.base_m * unit(layout),
                s * block.strip_spacing_m + kStationJitter * block.base_m * unit(layout),
                height * (1.0 + kHeightJitter * unit(layout))};
            const double omega = attitude * unit(layout);
            const double phi = attitude * unit(layout);
            const double kappa = attitude * unit(layout);
            photo.rotation = Rz(west ? std::numbers::pi : 0.0) * Rx(omega) * Ry(phi) * Rz(kappa);
            block.photographs.push_back(std::move(photo));
        }
    }

    // The terrain and its points over the area every footprint covers, with a margin for
    // tilts and relief.
    const std::vector<Wave> terrain = MakeTerrain(layout, length_m, 0.5 * options.relief * height);
    const double margin = 0.5 + std::tan(attitude) + options.relief;
    const double x0 = -margin * length_m;
    const double x1 = (options.photos - 1) * block.base_m + margin * length_m;
    const double y0 = -margin * width_m;
    const double y1 = (options.strips - 1) * block.strip_spacing_m + margin * width_m;
    const double density = kSeenShare * options.keypoints / (length_m * width_m);
    const auto count = static_cast<std::size_t>(std::lround(density * (x1 - x0) * (y1 - y0)));
    std::uniform_real_distribution<double> along(x0, x1);
    std::uniform_real_distribution<double> across(y0, y1);
    block.ground_points.resize(count);
    for (Eigen::Vector3d& point : block.ground_points) {
        point.x() = along(layout);
        point.y() = across(layout);
        point.z() = TerrainHeight(terrain, point.x(), point.y());
    }
    // Ordered west to east, so that a photograph looks only at the points within its reach.
    std::sort(block.ground_points.begin(), block.ground_points.end(),
              [](const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
                  return std::lexicographical_compare(a.data(), a.data() + 3, b.data(),
                                                      b.data() + 3);
              });

    // One descriptor per ground point, from a stream per chunk of points so that threads
    // can draw them in any order.
    block.descriptors.resize(count * kDims);
    const std::size_t chunks = (count + kDescriptorChunk - 1) / kDescriptorChunk;
    common::ForSlices(
        chunks, common::HardwareThreads(), [&](std::size_t begin, std::size_t end, std::size_t) {
            for (std::size_t c = begin; c < end; ++c) {
                std::mt19937 rng = Stream(options.seed, kDescriptors, c);
                const std::size_t last = std::min(count, (c + 1) * kDescriptorChunk);
                for (std::size_t k = c * kDescriptorChunk; k < last; ++k) {
                    const std::vector<int> d = SiftLikeDescriptor(rng, kDims);
                    std::copy(d.begin(), d.end(),
                              block.descriptors.begin() + static_cast<std::ptrdiff_t>(k * kDims));
                }
            }
            return true;
        });

    // What every photograph sees: the points within its reach (the highest station over the
    // lowest terrain, at the largest angle the frame can see) that project into its frame.
    const double max_tan = MaxTangent(camera);
    const double reach = max_tan * height * (1.0 + kHeightJitter + options.relief);
    const auto east_of = [&](double x) {
        return static_cast<std::size_t>(
            std::lower_bound(block.ground_points.begin(), block.ground_points.end(), x,
                             [](const Eigen::Vector3d& p, double v) { return p.x() < v; }) -
            block.ground_points.begin());
    };
    common::ForSlices(block.photographs.size(), common::HardwareThreads(),
                      [&](std::size_t begin, std::size_t end, std::size_t) {
                          for (std::size_t i = begin; i < end; ++i) {
                              AerialPhotograph& photo = block.photographs[i];
                              const std::size_t last = east_of(photo.position_m.x() + reach);
                              for (std::size_t k = east_of(photo.position_m.x() - reach); k < last;
                                   ++k) {
                                  if (Project(camera, photo, block.ground_points[k], max_tan)) {
                                      photo.seen.push_back(static_cast<int>(k));
                                  }
                              }
                          }
                          return true;
                      });

    const int photos = static_cast<int>(block.photographs.size());
    for (int i = 0; i < photos; ++i) {
        for (int j = i + 1; j < photos; ++j) {
            const std::vector<int>& a = block.photographs[static_cast<std::size_t>(i)].seen;
            const std::vector<int>& b = block.photographs[static_cast<std::size_t>(j)].seen;
            const int shared = CountShared(a, b);
            const double fewer = static_cast<double>(std::min(a.size(), b.size()));
            if (shared >= kMinSharedPoints && shared >= kMinSharedShare * fewer) {
                block.pairs.push_back(RelativeOrientation(block, i, j));
            }
        }
    }
    return block;
}

std::vector<KeyRecord> AerialKeypoints(const AerialBlock& block, int photograph) {
    const AerialBlockOptions& o = block.options;
    const SceneCamera camera = ToSceneCamera(o.camera);
    const AerialPhotograph& photo = block.photographs[static_cast<std::size_t>(photograph)];
    std::mt19937 rng = Stream(o.seed, kKeypoints, static_cast<std::uint64_t>(photograph));
    std::normal_distribution<double> noise(0.0, o.noise_px > 0.0 ? o.noise_px : 1.0);
    std::uniform_real_distribution<double> col(0.0, camera.columns - 1.0);
    std::uniform_real_distribution<double> row(0.0, camera.rows - 1.0);
    std::uniform_real_distribution<double> scale(1.0, 8.0);
    std::uniform_real_distribution<double> ori(-std::numbers::pi, std::numbers::pi);
    std::vector<KeyRecord> keys;
    const int distractors = std::max(o.keypoints - static_cast<int>(photo.seen.size()),
                                     static_cast<int>(kMinDistractorShare * o.keypoints));
    keys.reserve(photo.seen.size() + static_cast<std::size_t>(distractors));
    for (const int k : photo.seen) {
        const auto point = static_cast<std::size_t>(k);
        const std::array<double, 2> pixel =
            *Project(camera, photo, block.ground_points[point], MaxTangent(camera));
        double c = pixel[0];
        double r = pixel[1];
        if (o.noise_px > 0.0) {
            c = std::clamp(c + noise(rng), 0.0, camera.columns - 1.0);
            r = std::clamp(r + noise(rng), 0.0, camera.rows - 1.0);
        }
        // The point's own size and orientation, the same in every photograph that sees it.
        common::SplitMix64 shape(StreamSeed(o.seed, kPointShape, point));
        const double s = 1.0 + 7.0 * shape.Uniform();
        const double a = std::numbers::pi * (2.0 * shape.Uniform() - 1.0);
        const auto first = block.descriptors.begin() + static_cast<std::ptrdiff_t>(point * kDims);
        const std::vector<int> descriptor(first, first + kDims);
        keys.push_back(KeyRecord{r, c, s, a, Perturbed(descriptor, rng)});
    }
    for (int k = 0; k < distractors; ++k) {
        keys.push_back(
            KeyRecord{row(rng), col(rng), scale(rng), ori(rng), SiftLikeDescriptor(rng, kDims)});
    }
    std::shuffle(keys.begin(), keys.end(), rng);
    return keys;
}

std::string AerialTruthJson(const AerialBlock& block) {
    const AerialBlockOptions& o = block.options;
    const SceneCamera camera = ToSceneCamera(o.camera);
    std::string t = "{\n";
    t += "  \"generator\": \"make_aerial_block\",\n";
    t += "  \"options\": {\"strips\": " + std::to_string(o.strips) +
         ", \"photos\": " + std::to_string(o.photos) + ", \"overlap\": " + Number(o.overlap) +
         ", \"side_overlap\": " + Number(o.side_overlap) +
         ", \"keypoints\": " + std::to_string(o.keypoints) +
         ", \"seed\": " + std::to_string(o.seed) + ", \"noise_px\": " + Number(o.noise_px) +
         ", \"relief\": " + Number(o.relief) + ", \"attitude_deg\": " + Number(o.attitude_deg) +
         ", \"flight\": \"" + (o.one_way ? "one_way" : "alternating") + "\"},\n";
    t += "  \"camera_file\": \"camera.cam\",\n";
    t += "  \"frame_px\": [" + Number(camera.columns) + ", " + Number(camera.rows) + "],\n";
    t += "  \"flying_height_m\": " + Number(block.flying_height_m) + ",\n";
    t += "  \"base_m\": " + Number(block.base_m) + ",\n";
    t += "  \"strip_spacing_m\": " + Number(block.strip_spacing_m) + ",\n";
    t += "  \"ground_points\": " + std::to_string(block.ground_points.size()) + ",\n";
    t += "  \"conventions\": {\"world\": \"X east, Y north, Z up, metres\", "
         "\"camera_frame\": \"x right in the photograph, y up in it, z backwards\", "
         "\"photograph_rotation\": \"camera_to_world\", \"model_frame\": \"camera1\", "
         "\"base_direction\": \"camera1_to_camera2\", "
         "\"rotation\": \"Rx(omega)*Ry(phi)*Rz(kappa)\", \"rotation_maps\": \"camera2_to_model\", "
         "\"elements\": \"by = By/Bx, bz = Bz/Bx, angles in degrees; null where |Bx|/|B| < "
         "0.1\"},\n";
    t += "  \"photographs\": [\n";
    for (std::size_t i = 0; i < block.photographs.size(); ++i) {
        const AerialPhotograph& p = block.photographs[i];
        t += "    {\"name\": \"" + p.name + "\", \"key_file\": \"" + p.name +
             ".key\", \"strip\": " + std::to_string(p.strip + 1) +
             ", \"index\": " + std::to_string(p.index + 1) +
             ", \"position_m\": " + JsonVector(p.position_m) +
             ", \"rotation\": " + JsonMatrix(p.rotation) +
             ", \"ground_points_seen\": " + std::to_string(p.seen.size()) + "}";
        t += i + 1 < block.photographs.size() ? ",\n" : "\n";
    }
    t += "  ],\n  \"pairs\": [\n";
    for (std::size_t i = 0; i < block.pairs.size(); ++i) {
        const AerialPair& q = block.pairs[i];
        t += "    {\"photo1\": \"" + block.photographs[static_cast<std::size_t>(q.photo1)].name +
             "\", \"photo2\": \"" + block.photographs[static_cast<std::size_t>(q.photo2)].name +
             "\", \"kind\": \"" + (q.across_strips ? "across_strips" : "along_strip") +
             "\", \"shared_points\": " + std::to_string(q.shared_points) +
             ", \"base_direction\": " + JsonVector(q.base_direction) +
             ", \"rotation\": " + JsonMatrix(q.rotation) + ", \"elements\": ";
        if (q.elements) {
            const AerialPair::Elements& e = *q.elements;
            t += "{\"by\": " + Number(e.by) + ", \"bz\": " + Number(e.bz) +
                 ", \"omega_deg\": " + Number(e.omega_deg) + ", \"phi_deg\": " + Number(e.phi_deg) +
                 ", \"kappa_deg\": " + Number(e.kappa_deg) + "}";
        } else {
            t += "null";
        }
        t += i + 1 < block.pairs.size() ? "},\n" : "}\n";
    }
    t += "  ]\n}\n";
    return t;
}

std::optional<std::string> WriteAerialBlock(const AerialBlock& block, const std::string& dir,
                                            int threads) {
    const std::string folder = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    const std::size_t photos = block.photographs.size();
    std::vector<std::optional<std::string>> errors(photos);
    common::ForSlices(photos, threads, [&](std::size_t begin, std::size_t end, std::size_t) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::string text =
                KeyFileText(AerialKeypoints(block, static_cast<int>(i)), kDims);
            errors[i] = WriteText(folder + block.photographs[i].name + ".key", text);
        }
        return true;
    });
    for (const std::optional<std::string>& error : errors) {
        if (error) return error;
    }
    std::string list;
    for (const AerialPhotograph& p : block.photographs) list += p.name + ".key\n";
    std::string pairs;
    for (const AerialPair& q : block.pairs) {
        pairs += block.photographs[static_cast<std::size_t>(q.photo1)].name + " " +
                 block.photographs[static_cast<std::size_t>(q.photo2)].name + "\n";
    }
    if (auto e = WriteText(folder + "camera.cam", ro::FormatCameraText(block.options.camera))) {
        return e;
    }
    if (auto e = WriteText(folder + "photographs.txt", list)) return e;
    if (auto e = WriteText(folder + "pairs.txt", pairs)) return e;
    return WriteText(folder + "truth.json", AerialTruthJson(block));
}

}  // namespace scene
