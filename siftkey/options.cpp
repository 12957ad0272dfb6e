#include "siftkey/options.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <opencv2/core/version.hpp>
#include <sstream>

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
    "radians in (-pi, pi], counter-clockwise as seen on screen, 0 pointing right.";

const char* const kFooter =
    "Exit status: 0 when OUT.key (and OUT.cam) was written (also with no keypoints: count\n"
    "0), 1 when the image cannot be read, is damaged or too large, a file cannot be written\n"
    "or is refused, or the EXIF data gives no camera, 2 on a wrong command line.\n"
    "See siftkey(1).";

std::string VersionText() {
    return "siftkey (relative-orientation) " RO_VERSION
           "\nSIFT detector and image decoders: OpenCV " CV_VERSION;
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
    ParsedCommandLine result;
    SiftkeyOptions& o = result.options;
    CLI::App app(kDescription, "siftkey");
    app.footer(kFooter);
    app.set_version_flag("--version", VersionText(), "Print the version and exit");
    app.add_option("IMAGE", o.image_path, "The photograph ('-': standard input)")
        ->required()
        ->check(command_line::NotEmptyFileName());
    app.add_option("OUT.key", o.key_path,
                   "The keypoint file to write ('-': standard output); an existing keypoint "
                   "file is replaced, a file of another kind only with --force")
        ->required()
        ->check(command_line::NotEmptyFileName());
    app.add_flag("--force", o.force,
                 "Replace an existing OUT.key (OUT.cam) that holds something else than "
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
    app.add_option("--camera", o.camera_path,
                   "Also write the camera that the photograph's EXIF data implies (focal "
                   "length, pixel size, principal point at the centre) to OUT.cam")
        ->type_name("OUT.cam")
        ->check(command_line::NotEmptyFileName());
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
                   "Worker threads, 1 to " + std::to_string(common::kMaxThreads) +
                       " (default: all cores; more than the machine has run as many as it has)")
        ->type_name("N")
        ->transform(command_line::ThreadCount());
    try {
        app.parse(argc, argv);
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
