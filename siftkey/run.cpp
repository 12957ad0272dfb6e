#include "siftkey/run.h"

#include <algorithm>
#include <new>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <thread>

#include "io/atomic_file.h"
#include "io/file_error.h"
#include "io/file_identity.h"
#include "io/output_target.h"
#include "siftkey/detector.h"
#include "siftkey/exif_camera.h"
#include "siftkey/grey_image.h"
#include "siftkey/key_writer.h"
#include "siftkey/pixel_limit.h"
#include "siftkey/reduced_detection.h"

namespace siftkey {
namespace {

int Fail(std::ostream& err, const std::string& message) {
    err << "siftkey: " << message << '\n';
    return kFailureStatus;
}

std::string Size(const cv::Mat& m) {
    return std::to_string(m.cols) + " x " + std::to_string(m.rows) + " pixels";
}

// ", detected on W x H" when the detector works on a reduced image, else "".
std::string DetectedOn(const cv::Mat& m, std::uint64_t max_side) {
    const PixelSize detected = DetectionSize(static_cast<std::uint64_t>(m.cols),
                                             static_cast<std::uint64_t>(m.rows), max_side);
    if (detected.width == static_cast<std::uint64_t>(m.cols) &&
        detected.height == static_cast<std::uint64_t>(m.rows)) {
        return {};
    }
    return ", detected on " + std::to_string(detected.width) + " x " +
           std::to_string(detected.height);
}

// The threads handed to the detector's library: no more than the machine runs at once,
// which its thread library would otherwise cut down itself, with a warning of its own.
int DetectorThreads(int asked) {
    const unsigned hardware = std::thread::hardware_concurrency();
    if (hardware == 0) return asked;
    return std::min(asked, static_cast<int>(hardware));
}

// An output's path as written ("-" for any name of standard output: a pipe cannot be
// reopened by name everywhere, and a file would otherwise be replaced under the open
// descriptor) and as named in messages.
struct Output {
    std::string path;
    std::string shown;
};

Output OutputOf(const std::string& given) {
    return {io::IsStandardOutput(given) ? std::string("-") : given,
            io::ShownName(given, "standard output")};
}

// Why `out` may not be written as an output of `kind`, before anything is read: the
// photograph read is never replaced, and without --force neither is a file of another kind.
std::optional<std::string> OutputRefusal(const Output& out, const SiftkeyOptions& options,
                                         io::OutputKind kind) {
    if (io::WouldOverwrite(out.path, options.image_path)) {
        return "cannot write " + out.shown + ": it is the input image";
    }
    if (const std::optional<io::FileError> refusal =
            io::CheckOutputTarget(out.path, kind, options.force)) {
        return "cannot write " + out.shown + ": " + refusal->reason;
    }
    return std::nullopt;
}

int Run(const SiftkeyOptions& options, std::ostream& err) {
    const std::string image_path = io::ShownName(options.image_path, "standard input");
    const Output key = OutputOf(options.key_path);
    const bool with_camera = !options.camera_path.empty();
    const Output camera = with_camera ? OutputOf(options.camera_path) : Output{};

    if (const auto refusal = OutputRefusal(key, options, io::OutputKind::keypoints)) {
        return Fail(err, *refusal);
    }
    if (with_camera) {
        if (camera.path == key.path || io::WouldOverwrite(camera.path, key.path)) {
            return Fail(err, "cannot write " + camera.shown + ": it is also the keypoint file");
        }
        if (const auto refusal = OutputRefusal(camera, options, io::OutputKind::camera)) {
            return Fail(err, *refusal);
        }
    }
    const ImageFile file = ReadImageFile(options.image_path);
    if (!file.error.empty()) return Fail(err, file.error);
    // Again for the file actually read (standard input, or a file replaced meanwhile).
    for (const Output* out : {&key, &camera}) {
        if (!out->path.empty() && io::WouldOverwrite(out->path, file.file)) {
            return Fail(err, "cannot write " + out->shown + ": it is the input image");
        }
    }
    const GreyImage image =
        DecodeGreyImage(file, options.image_path, options.max_pixels, options.max_side);
    if (!image.error.empty()) return Fail(err, image.error);
    const ExifCamera exif =
        with_camera ? CameraFromExif(file.bytes, image.grey.cols, image.grey.rows, image_path)
                    : ExifCamera{};

    if (options.threads > 0) cv::setNumThreads(DetectorThreads(options.threads));
    std::vector<SiftKeypoint> keys;
    try {
        keys = DetectKeypointsAtMostSide(image.grey, options.detector, options.max_side);
    } catch (const cv::Exception& e) {
        return Fail(err, "detection failed on " + image_path + ": " + e.err);
    }

    if (const std::optional<io::FileError> error =
            io::WriteFileAtomically(key.path, FormatKeyFile(keys))) {
        return Fail(err, "cannot write " + key.shown + ": " + error->reason);
    }

    const std::string size = Size(image.grey) + DetectedOn(image.grey, options.max_side);
    if (keys.empty()) {
        err << "siftkey: " << image_path << " (" << size << "): no keypoints found; wrote "
            << key.shown << " with count 0\n";
    } else if (!options.quiet) {
        err << "siftkey: " << image_path << " (" << size << "): " << keys.size()
            << (keys.size() == 1 ? " keypoint" : " keypoints") << " written to " << key.shown
            << '\n';
    }
    if (!with_camera) return 0;
    if (exif.text.empty()) {
        return Fail(err, image_path + ": no camera written: " + exif.missing);
    }
    if (const std::optional<io::FileError> error =
            io::WriteFileAtomically(camera.path, exif.text)) {
        return Fail(err, "cannot write " + camera.shown + ": " + error->reason);
    }
    if (options.quiet) return 0;
    err << "siftkey: camera of " << image_path << " from its EXIF data written to " << camera.shown
        << " (focal length " << FormatFixed(exif.focal_length_mm, 2) << " mm, pixel size "
        << FormatFixed(exif.pixel_size_um, 3) << " um)\n";
    return 0;
}

}  // namespace

int RunSiftkey(const SiftkeyOptions& options, std::ostream& err) {
    try {
        return Run(options, err);
    } catch (const std::bad_alloc&) {
        return Fail(err, io::ShownName(options.image_path, "standard input") + ": out of memory");
    } catch (const cv::Exception& e) {
        return Fail(err, io::ShownName(options.image_path, "standard input") + ": " + e.err);
    }
}

}  // namespace siftkey
