// Writes a synthetic aerial block (testing/aerial_block.h): strips of vertical photographs
// over terrain with relief, a keypoint file per photograph, the camera file, the list of
// key files, the overlapping pairs and the truth of every photograph and pair.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <variant>

#include "camera/camera_file.h"
#include "common/thread_pool.h"
#include "io/read_file.h"
#include "testing/aerial_block.h"

namespace {

using scene::AerialBlockOptions;

constexpr const char* kUsage =
    "usage: make_aerial_block [OPTIONS] DIR\n"
    "Writes a synthetic aerial block into DIR (created when missing): pSS_PPP.key for each\n"
    "photograph (strip SS, photograph PPP in flight order), camera.cam, photographs.txt (the\n"
    "key files), pairs.txt (the overlapping pairs, NAME1 NAME2) and truth.json (every\n"
    "photograph's position and rotation, every pair's relative orientation in orient's\n"
    "conventions). The same options give the same files.\n"
    "\n"
    "Options:\n"
    "  --strips S          strips (default 3)\n"
    "  --photos P          photographs per strip (default 10)\n"
    "  --overlap F         overlap along the strip (default 0.6)\n"
    "  --side-overlap F    overlap between neighbouring strips (default 0.25)\n"
    "  --keypoints K       keypoints per photograph, about (default 10000)\n"
    "  --seed N            seed of every random draw (default 1)\n"
    "  --noise-px PX       Gaussian noise of the keypoints' positions (default 0.5)\n"
    "  --relief F          terrain height range over the flying height (default 0.1)\n"
    "  --attitude-deg D    largest random omega, phi, kappa of a photograph (default 2)\n"
    "  --one-way           fly every strip east (default: alternate strips fly west)\n"
    "  --camera FILE       camera file (default: a 2000 x 1500 px frame, 10 mm lens, 5 um\n"
    "                      pixels); its frame is twice its principal point\n"
    "  --threads N         threads (default: all cores)\n"
    "  -h, --help          print this help\n"
    "Exit status: 0 written; 1 a file could not be read or written; 2 wrong usage.\n";

struct Options {
    AerialBlockOptions block;
    std::string dir;
    std::string camera_file;
    int threads = common::HardwareThreads();
};

bool ParseDouble(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*value);
}

bool ParseInt(const char* text, long min, long max, long* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && *value >= min && *value <= max;
}

// Reads the options; on a mistake writes what is wrong to *error.
bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
    AerialBlockOptions& b = o->block;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--one-way") {
            b.one_way = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            if (!o->dir.empty()) {
                *error = "one folder only (" + o->dir + ", " + arg + ")";
                return false;
            }
            o->dir = arg;
            continue;
        }
        if (a + 1 >= argc) {
            *error = arg + " needs a value";
            return false;
        }
        const char* value = argv[++a];
        long n = 0;
        bool ok = true;
        if (arg == "--strips" || arg == "--photos" || arg == "--keypoints") {
            ok = ParseInt(value, 0, 100000000, &n);
            (arg == "--strips"   ? b.strips
             : arg == "--photos" ? b.photos
                                 : b.keypoints) = static_cast<int>(n);
        } else if (arg == "--seed") {
            ok = ParseInt(value, 0, 4294967295L, &n);
            b.seed = static_cast<unsigned>(n);
        } else if (arg == "--threads") {
            ok = ParseInt(value, 1, common::kMaxThreads, &n);
            o->threads = static_cast<int>(n);
        } else if (arg == "--overlap") {
            ok = ParseDouble(value, &b.overlap);
        } else if (arg == "--side-overlap") {
            ok = ParseDouble(value, &b.side_overlap);
        } else if (arg == "--noise-px") {
            ok = ParseDouble(value, &b.noise_px);
        } else if (arg == "--relief") {
            ok = ParseDouble(value, &b.relief);
        } else if (arg == "--attitude-deg") {
            ok = ParseDouble(value, &b.attitude_deg);
        } else if (arg == "--camera") {
            o->camera_file = value;
        } else {
            *error = "unknown option " + arg;
            return false;
        }
        if (!ok) {
            *error = arg + ": not a valid number: " + value;
            return false;
        }
    }
    if (o->dir.empty()) {
        *error = "the folder DIR is missing";
        return false;
    }
    return true;
}

// Reads the camera file into the options; on failure says why, naming the file.
bool ReadCamera(Options* o, std::string* error) {
    if (o->camera_file.empty()) return true;
    const io::FileContents file = io::ReadWholeFile(o->camera_file, 1 << 20, "a camera file");
    if (file.error) {
        *error = file.error->Message();
        return false;
    }
    const ro::CameraFileResult parsed = ro::ParseCameraText(file.bytes);
    if (const auto* bad = std::get_if<ro::CameraFileError>(&parsed)) {
        *error = o->camera_file + ":" + std::to_string(bad->line) + ": " + bad->reason;
        return false;
    }
    o->block.camera = std::get<ro::Camera>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "-h") == 0 || std::strcmp(argv[a], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Options o;
    std::string error;
    if (!ParseOptions(argc, argv, &o, &error)) {
        std::fprintf(stderr, "make_aerial_block: %s\nTry 'make_aerial_block --help'.\n",
                     error.c_str());
        return 2;
    }
    if (!ReadCamera(&o, &error)) {
        std::fprintf(stderr, "make_aerial_block: %s\n", error.c_str());
        return 1;
    }
    error = scene::CheckAerialOptions(o.block);
    if (!error.empty()) {
        std::fprintf(stderr, "make_aerial_block: %s\nTry 'make_aerial_block --help'.\n",
                     error.c_str());
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(o.dir, ec);
    if (ec) {
        std::fprintf(stderr, "make_aerial_block: %s: cannot create the folder: %s\n", o.dir.c_str(),
                     ec.message().c_str());
        return 1;
    }
    const scene::AerialBlock block = scene::MakeAerialBlock(o.block);
    if (const auto failed = scene::WriteAerialBlock(block, o.dir, o.threads)) {
        std::fprintf(stderr, "make_aerial_block: %s\n", failed->c_str());
        return 1;
    }
    int across = 0;
    for (const scene::AerialPair& pair : block.pairs) across += pair.across_strips ? 1 : 0;
    std::printf(
        "%zu photographs, %zu ground points, %zu overlapping pairs (%zu along strips, %d "
        "across) in %s\n",
        block.photographs.size(), block.ground_points.size(), block.pairs.size(),
        block.pairs.size() - static_cast<std::size_t>(across), across, o.dir.c_str());
    return 0;
}
