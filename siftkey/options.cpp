#include "siftkey/options.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <opencv2/core/version.hpp>
#include <sstream>
#include <string_view>

#include "command_line/validators.h"
#include "common/thread_pool.h"
#include "siftkey/pixel_limit.h"

namespace siftkey {
namespace {

// A validator for a real option: a whole decimal number, finite, at least `min`.
CLI::Validator FiniteAtLeast(double min, const std::string& min_text) {
    return CLI::Validator(
        [min, min_text](std::string& text) -> std::string {
            if (text.empty()) return command_line::kEmptyValue;
            const char* begin = text.c_str();
            char* end = nullptr;
            errno = 0;
            const double v = std::strtod(begin, &end);
            if (end == begin || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
                return command_line::Quoted(text, "is not a finite number");
            }
            if (v < min) return command_line::Quoted(text, "is below " + min_text);
            return {};
        },
        "");
}

const char* const kDescription =
    "Detects SIFT keypoints in the photograph IMAGE (JPEG, PNG, TIFF, ...; 8 or 16 bit, grey\n"
    "or colour) and writes them to OUT.key in the keypoint text format: a header \"count 128\",\n"
    "then per keypoint its row, column, scale and orientation and 128 descriptor values.\n"
    "Rows grow downwards and columns to the right, in pixels, with the centre of the top-left\n"
    "pixel at (0, 0); the scale is the detector's sigma in pixels; the orientation is in\n"
    "radians in (-pi, pi], counter-clockwise as seen on screen, 0 pointing right.\n"
    "Many photographs: siftkey [OPTIONS] -o DIR PHOTO... (see 'siftkey -o DIR --help').";

const char* const kFooter =
    "Exit status: 0 when OUT.key (and OUT.cam) was written (also with no keypoints: count\n"
    "0), 1 when the image cannot be read, is damaged or too large, a file cannot be written\n"
    "or is refused, or the EXIF data gives no camera, 2 on a wrong command line.\n"
    "See siftkey(1).";

const char* const kBatchDescription =
    "Detects the SIFT keypoints of every PHOTO and writes them to DIR/NAME.key, NAME being the\n"
    "photograph's file name without folder and extension; DIR is made when missing. The\n"
    "photographs are detected in parallel, each on one thread. A photograph whose key file\n"
    "(and with --camera its camera file) is newer than the photograph is skipped, unless\n"
    "--force is given. The key files are those of 'siftkey PHOTO DIR/NAME.key', byte for byte.";

const char* const kBatchFooter =
    "Exit status: 0 when every photograph got its files, 1 when any failed (each failure is\n"
    "reported and the others go on) or DIR cannot be made, 2 on a wrong command line (also\n"
    "two photographs of one NAME).\n"
    "See siftkey(1).";

// Whether the arguments ask for the many-photographs form: -o or --output-dir before any
// "--" (after it, every argument is a file name).
bool AsksForOutputDir(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") return false;
        if (arg.starts_with("-o") || arg == "--output-dir" || arg.starts_with("--output-dir=")) {
            return true;
        }
    }
    return false;
}

// The options of the detector, the limits, --force and --threads, shared by both forms.
void AddCommonOptions(CLI::App& app, SiftkeyOptions& o, bool batch) {
    app.add_flag("--force", o.force,
                 batch ? "Redo photographs whose files are up to date, and replace existing "
                         "files that hold something else than keypoints (a camera)"
                       : "Replace an existing OUT.key (OUT.cam) that holds something else than "
                         "keypoints (a camera) (never the input image)");
    app.add_option("--max", o.detector.max_keypoints,
                   "Keep only the N strongest keypoints, 1 to 1073741824; only these get "
                   "descriptors")
        ->type_name("N")
        ->transform(command_line::WholeNumber(1, std::uint64_t{1} << 30));
    app.add_option("--max-pixels", o.max_pixels,
                   "Refuse a larger image before decoding it (decoding needs about 4 bytes "
                   "per pixel, detection about 235 per pixel detected on)")
        ->type_name("N")
        ->transform(command_line::WholeNumber(1, std::numeric_limits<std::uint64_t>::max()))
        ->capture_default_str();
    app.add_option("--max-size", o.max_side,
                   "Detect on the image reduced so that its long side is at most PIXELS "
                   "(positions and scales still in the photograph's pixels); 0: on the full "
                   "image")
        ->type_name("PIXELS")
        ->transform(command_line::WholeNumber(0, std::uint64_t{1} << 20))
        ->capture_default_str();
    if (batch) {
        app.add_flag("--camera", o.camera_beside,
                     "Also write the camera that each photograph's EXIF data implies to "
                     "DIR/NAME.cam");
    } else {
        app.add_option("--camera", o.camera_path,
                       "Also write the camera that the photograph's EXIF data implies (focal "
                       "length, pixel size, principal point at the centre) to OUT.cam")
            ->type_name("OUT.cam")
            ->check(command_line::NotEmptyFileName());
    }
    app.add_option("--contrast-threshold", o.detector.contrast_threshold,
                   "Reject weak extrema (>= 0): larger gives fewer keypoints")
        ->type_name("X")
        ->check(FiniteAtLeast(0.0, "0"))
        ->capture_default_str();
    app.add_option("--edge-threshold", o.detector.edge_threshold,
                   "Reject edge-like extrema whose curvature ratio exceeds R (>= 1): "
                   "smaller gives fewer keypoints")
        ->type_name("R")
        ->check(FiniteAtLeast(1.0, "1"))
        ->capture_default_str();
    app.add_flag("--upright", o.detector.upright,
                 "Orientation 0 for every keypoint, descriptors aligned with the pixel axes");
    app.add_option("--threads", o.threads,
                   (batch ? "Photographs detected at once, 1 to " : "Worker threads, 1 to ") +
                       std::to_string(common::kMaxThreads) +
                       " (default: all cores; more than the machine has run as many as it has)")
        ->type_name("N")
        ->transform(command_line::ThreadCount());
    app.add_option("-o,--output-dir", o.output_dir,
                   "Write DIR/NAME.key for each of many photographs: siftkey [OPTIONS] -o DIR "
                   "PHOTO...")
        ->type_name("DIR")
        ->check(command_line::NotEmptyFileName());
    app.add_flag("--quiet", o.quiet,
                 batch ? "No progress display and no summary of a run without failures"
                       : "No message when the keypoint file was written");
}

// Why the photographs of -o mode cannot be named by their files, or "" when they can: a
// photograph without a file name, standard input, or two photographs of one NAME.
std::string BatchNameProblem(const std::vector<std::string>& photographs) {
    std::map<std::string, const std::string*> by_name;
    for (const std::string& photograph : photographs) {
        if (photograph == "-") {
            return "PHOTO: standard input ('-') has no name for its key file; use the "
                   "single-photograph form";
        }
        const std::string name = OutputName(photograph);
        if (name.empty()) return "PHOTO: '" + photograph + "' names no file";
        const auto [it, added] = by_name.emplace(name, &photograph);
        if (!added) {
            std::string both = "photographs '" + *it->second;
            both += "' and '" + photograph;
            both += "' would both write " + name + ".key";
            return both;
        }
    }
    return {};
}

std::string VersionText() {
    return "siftkey (relative-orientation) " RO_VERSION
           "\nSIFT detector and image decoders: OpenCV " CV_VERSION;
}

}  // namespace

std::string OutputName(const std::string& photograph) {
    const std::filesystem::path file = std::filesystem::path(photograph).filename();
    if (file.empty() || file == "." || file == "..") return {};
    return file.stem().string();
}

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
    ParsedCommandLine result;
    SiftkeyOptions& o = result.options;
    const bool batch = AsksForOutputDir(argc, argv);
    CLI::App app(batch ? kBatchDescription : kDescription, "siftkey");
    app.footer(batch ? kBatchFooter : kFooter);
    app.set_version_flag("--version", VersionText(), "Print the version and exit");
    if (batch) {
        app.add_option("PHOTO", o.photographs, "The photographs")
            ->required()
            ->check(command_line::NotEmptyFileName());
    } else {
        app.add_option("IMAGE", o.image_path, "The photograph ('-': standard input)")
            ->required()
            ->check(command_line::NotEmptyFileName());
        app.add_option("OUT.key", o.key_path,
                       "The keypoint file to write ('-': standard output); an existing keypoint "
                       "file is replaced, a file of another kind only with --force")
            ->required()
            ->check(command_line::NotEmptyFileName());
    }
    AddCommonOptions(app, o, batch);
    try {
        app.parse(argc, argv);
        if (batch) {
            if (const std::string problem = BatchNameProblem(o.photographs); !problem.empty()) {
                throw CLI::ValidationError(problem);
            }
        }
        result.run = true;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
            std::ostringstream out;
            std::ostringstream err;
            app.exit(e, out, err);
            result.out = out.str();
            result.err = err.str();
            result.exit_status = 0;
        } else {
            result.err = std::string("siftkey: ") + e.what() +
                         "\nTry 'siftkey --help' for more information.\n";
            result.exit_status = kUsageStatus;
        }
    }
    return result;
}

}  // namespace siftkey
