// Writes the camera file of a camera calibrated with OpenCV: the camera matrix and the
// distortion coefficients of a cv::FileStorage file (YAML or XML, as OpenCV's calibration
// sample writes them) in the focal_length_px form with k1 k2 p1 p2 k3.
//
//   camera_from_calibration [--image-size W H] [--force] CALIBRATION OUTPUT
//
// The matrix is read from `camera_matrix`, `cameraMatrix` or `K`, the coefficients from
// `distortion_coefficients`, `distCoeffs` or `D` (4, 5, 8, 12 or 14 of them; the terms beyond
// k3 must be 0, the camera model has none). The image size is a comment of the file, from
// --image-size or the calibration's image_width and image_height. The written text is read
// back with the camera-file parser, so that a camera outside its ranges is refused here.
// OUTPUT "-" is standard output; an existing file that is not a camera file is kept unless
// --force.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "camera/camera_file.h"
#include "camera/decimal_text.h"
#include "io/atomic_file.h"
#include "io/output_target.h"
#include "io/read_file.h"

namespace {

constexpr const char* kProgram = "camera_from_calibration";
constexpr const char* kUsage =
    "usage: camera_from_calibration [--image-size W H] [--force] CALIBRATION OUTPUT\n"
    "  CALIBRATION  an OpenCV calibration file (YAML or XML) with camera_matrix and\n"
    "               distortion_coefficients (also cameraMatrix/distCoeffs or K/D)\n"
    "  OUTPUT       the camera file to write ('-': standard output)\n"
    "  --image-size W H  the calibrated image size, written as a comment\n"
    "  --force      replace an existing file that is not a camera file\n";

// Calibration files are small; anything longer is not one.
constexpr std::size_t kMaxCalibrationBytes = std::size_t{16} << 20;

// Exit statuses: as the project's programs.
constexpr int kFailure = 1;
constexpr int kUsageError = 2;

struct Options {
    std::string calibration;
    std::string output;
    std::optional<std::array<long, 2>> image_size;
    bool force = false;
};

// A whole positive number of pixels.
std::optional<long> ImageSide(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value <= 0 || value > 1000000) return std::nullopt;
    return value;
}

// The options, or the reason the command line is wrong.
std::variant<Options, std::string> ParseArguments(int argc, char** argv) {
    Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--force") {
            options.force = true;
        } else if (arg == "--image-size") {
            if (i + 2 >= argc) return std::string("--image-size takes two numbers: W H");
            const auto width = ImageSide(argv[i + 1]);
            const auto height = ImageSide(argv[i + 2]);
            if (!width || !height) {
                return "--image-size takes two whole numbers of pixels from 1 to 1000000, not '" +
                       std::string(argv[i + 1]) + " " + argv[i + 2] + "'";
            }
            options.image_size = std::array<long, 2>{*width, *height};
            i += 2;
        } else if (arg.size() > 1 && arg.front() == '-') {
            return "unknown option '" + std::string(arg) + "'";
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.size() != 2) {
        return "expected two files, CALIBRATION and OUTPUT, found " + std::to_string(files.size());
    }
    options.calibration = files[0];
    options.output = files[1];
    return options;
}

// The first of `names` that the file holds, or an empty node.
std::pair<cv::FileNode, std::string> Node(const cv::FileStorage& storage,
                                          std::initializer_list<const char*> names) {
    for (const char* name : names) {
        cv::FileNode node = storage[name];
        if (!node.empty()) return {node, name};
    }
    return {};
}

// The numbers of a matrix node (OpenCV's matrix, or a plain list: one row), as doubles;
// nullopt when it is no matrix of finite numbers.
std::optional<cv::Mat> Matrix(const cv::FileNode& node) {
    cv::Mat matrix;
    if (node.isSeq()) {
        std::vector<double> values;
        for (const cv::FileNode& item : node) {
            if (!item.isReal() && !item.isInt()) return std::nullopt;
            values.push_back(static_cast<double>(item));
        }
        matrix = cv::Mat(values, true).t();
    } else {
        try {
            node >> matrix;
        } catch (const cv::Exception&) {
            return std::nullopt;
        }
    }
    if (matrix.empty() || matrix.channels() != 1 || matrix.dims != 2) return std::nullopt;
    matrix.convertTo(matrix, CV_64F);
    for (int r = 0; r < matrix.rows; ++r) {
        for (int c = 0; c < matrix.cols; ++c) {
            if (!std::isfinite(matrix.at<double>(r, c))) return std::nullopt;
        }
    }
    return matrix;
}

// The camera file's text of a calibration, or why there is none.
struct Converted {
    std::string text;
    std::string problem;  // empty when `text` holds the camera file
};

Converted Problem(std::string problem) { return {"", std::move(problem)}; }

Converted CameraText(const cv::FileStorage& storage, const Options& options) {
    if (!storage.root().isMap()) {
        return Problem(
            "no named entries: an OpenCV calibration holds camera_matrix and "
            "distortion_coefficients");
    }
    const auto [k_node, k_name] = Node(storage, {"camera_matrix", "cameraMatrix", "K"});
    if (k_node.empty()) return Problem("no camera matrix (camera_matrix, cameraMatrix or K)");
    std::optional<cv::Mat> k = Matrix(k_node);
    if (k && k->total() == 9) *k = k->reshape(1, 3);
    if (!k || k->rows != 3 || k->cols != 3) {
        return Problem("'" + k_name + "' is not a 3 x 3 matrix of finite numbers");
    }
    const auto at = [&](int r, int c) { return k->at<double>(r, c); };
    if (at(0, 1) != 0.0) {
        return Problem("'" + k_name + "' has a skew of " + ro::ShortestDecimal(at(0, 1)) +
                       " (row 1, column 2): the camera model has none");
    }
    if (at(1, 0) != 0.0 || at(2, 0) != 0.0 || at(2, 1) != 0.0 || at(2, 2) != 1.0) {
        return Problem("'" + k_name +
                       "' is no camera matrix: its rows must be (fx 0 cx), (0 fy cy), (0 0 1)");
    }
    const auto [d_node, d_name] = Node(storage, {"distortion_coefficients", "distCoeffs", "D"});
    if (d_node.empty()) {
        return Problem("no distortion coefficients (distortion_coefficients, distCoeffs or D)");
    }
    const std::optional<cv::Mat> d = Matrix(d_node);
    const std::size_t count = d ? d->total() : 0;
    if (!d || (d->rows != 1 && d->cols != 1) ||
        (count != 4 && count != 5 && count != 8 && count != 12 && count != 14)) {
        return Problem("'" + d_name + "' is not a list of 4, 5, 8, 12 or 14 finite numbers");
    }
    const std::vector<double> c(d->begin<double>(), d->end<double>());
    // OpenCV's order: k1 k2 p1 p2 [k3 [k4 k5 k6 [s1 s2 s3 s4 [tau_x tau_y]]]].
    constexpr std::array<const char*, 14> kNames = {"k1", "k2", "p1", "p2", "k3", "k4",    "k5",
                                                    "k6", "s1", "s2", "s3", "s4", "tau_x", "tau_y"};
    for (std::size_t i = 5; i < count; ++i) {
        if (c[i] != 0.0) {
            return Problem(
                "the " + std::to_string(count) + "-coefficient model's " + kNames[i] + " is " +
                ro::ShortestDecimal(c[i]) +
                ", not 0: a camera file has k1, k2, p1, p2 and k3 only (calibrate without the "
                "rational, thin-prism and tilt terms)");
        }
    }
    std::string text = "# camera of the OpenCV calibration " + options.calibration + "\n";
    std::optional<std::array<long, 2>> size = options.image_size;
    if (!size) {
        const cv::FileNode width = storage["image_width"];
        const cv::FileNode height = storage["image_height"];
        if (width.isInt() && height.isInt() && static_cast<int>(width) > 0 &&
            static_cast<int>(height) > 0) {
            size = std::array<long, 2>{static_cast<int>(width), static_cast<int>(height)};
        }
    }
    if (size) {
        text +=
            "# image " + std::to_string((*size)[0]) + " x " + std::to_string((*size)[1]) + " px\n";
    }
    const auto value = [](double v) { return ro::ShortestDecimal(v); };
    text += "focal_length_px = " + value(at(0, 0)) + " " + value(at(1, 1)) + "\n";
    text += "principal_point = " + value(at(0, 2)) + " " + value(at(1, 2)) + "\n";
    for (std::size_t i = 0; i < 5; ++i) {
        text += std::string(kNames[i]) + " = " + value(i < count ? c[i] : 0.0) + "\n";
    }
    const ro::CameraFileResult parsed = ro::ParseCameraText(text);
    if (const auto* error = std::get_if<ro::CameraFileError>(&parsed)) {
        return Problem("no camera a camera file can hold: " + error->reason);
    }
    return {text, ""};
}

// Whether the text needs the YAML directive that OpenCV's reader wants (other tools write
// calibrations as YAML without it); XML and JSON need none.
bool NeedsYamlDirective(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    return !text.starts_with("%YAML") && !text.starts_with("<") && !text.starts_with("{");
}

// Why OpenCV could not read the file: the line and text of a parse error ("line 3: Missing
// ':'"), which OpenCV 4 carries as "(3): Missing ':'" in place of the function name; nothing
// for its other errors, whose texts name its source code. `added_lines` were put before the
// file's text.
std::string ReadFailure(const cv::Exception& e, int added_lines) {
    std::string reason = "not an OpenCV calibration file (YAML or XML)";
    const std::string& where = e.func;
    const std::size_t close = where.find("): ");
    if (e.code != cv::Error::StsParseError || where.empty() || where.front() != '(' ||
        close == std::string::npos) {
        return reason;
    }
    const long line = std::strtol(where.c_str() + 1, nullptr, 10) - added_lines;
    return reason + ": line " + std::to_string(line) + ": " + where.substr(close + 3);
}

int Fail(const std::string& message, int status) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    if (status == kUsageError)
        std::fputs("Try 'camera_from_calibration --help' for more information.\n", stderr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    const auto parsed = ParseArguments(argc, argv);
    if (const auto* reason = std::get_if<std::string>(&parsed)) return Fail(*reason, kUsageError);
    const Options& options = std::get<Options>(parsed);
    if (io::WouldOverwrite(options.output, options.calibration)) {
        return Fail("cannot write " + options.output + ": it is the calibration file", kUsageError);
    }
    if (auto refusal =
            io::CheckOutputTarget(options.output, io::OutputKind::camera, options.force)) {
        return Fail(refusal->Message(), kFailure);
    }
    const io::FileContents read =
        io::ReadWholeFile(options.calibration, kMaxCalibrationBytes, "a calibration file");
    if (read.error) return Fail(read.error->Message(), kFailure);
    const std::string shown = io::ShownName(options.calibration, "standard input");
    const io::Content content = io::RecogniseContent(std::string_view(read.bytes).substr(0, 4096));
    if (content.kind == io::ContentKind::image || content.kind == io::ContentKind::binary) {
        return Fail(shown + ": not an OpenCV calibration file (YAML or XML): it holds " +
                        content.description,
                    kFailure);
    }
    const int added_lines = NeedsYamlDirective(read.bytes) ? 1 : 0;
    cv::FileStorage storage;
    try {
        storage.open(added_lines != 0 ? "%YAML:1.0\n" + read.bytes : read.bytes,
                     cv::FileStorage::READ | cv::FileStorage::MEMORY);
    } catch (const cv::Exception& e) {
        return Fail(shown + ": " + ReadFailure(e, added_lines), kFailure);
    }
    if (!storage.isOpened()) {
        return Fail(shown + ": not an OpenCV calibration file (YAML or XML)", kFailure);
    }
    Converted converted;
    try {
        converted = CameraText(storage, options);
    } catch (const cv::Exception& e) {
        return Fail(shown + ": " + ReadFailure(e, added_lines), kFailure);
    }
    if (!converted.problem.empty()) return Fail(shown + ": " + converted.problem, kFailure);
    if (auto error = io::WriteFileAtomically(options.output, converted.text)) {
        return Fail(error->Message(), kFailure);
    }
    return 0;
}
