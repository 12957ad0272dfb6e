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
#include "siftkey/grey_image.h"
#include "siftkey/key_writer.h"

namespace siftkey {
namespace {

int Fail(std::ostream& err, const std::string& message) {
    err << "siftkey: " << message << '\n';
    return kFailureStatus;
}

std::string Size(const cv::Mat& m) {
    return std::to_string(m.cols) + " x " + std::to_string(m.rows) + " pixels";
}

// The threads handed to the detector's library: no more than the machine runs at once,
// which its thread library would otherwise cut down itself, with a warning of its own.
int DetectorThreads(int asked) {
    const unsigned hardware = std::thread::hardware_concurrency();
    if (hardware == 0) return asked;
    return std::min(asked, static_cast<int>(hardware));
}

int Run(const SiftkeyOptions& options, std::ostream& err) {
    const std::string image_path = io::ShownName(options.image_path, "standard input");
    // Standard output named by a path (/dev/stdout, /proc/self/fd/1, the file it was
    // redirected to) is written as "-": a pipe cannot be reopened by name everywhere, and a
    // file would otherwise be replaced under the open descriptor.
    const std::string out_path =
        io::IsStandardOutput(options.key_path) ? std::string("-") : options.key_path;
    const std::string key_path = io::ShownName(options.key_path, "standard output");

    // The output is checked before anything is read or decoded: neither the photograph
    // read nor, without --force, another photograph given where the keypoint file was
    // meant is ever replaced.
    const auto input_image = [&] {
        return Fail(err, "cannot write " + key_path + ": it is the input image");
    };
    if (io::WouldOverwrite(out_path, options.image_path)) return input_image();
    if (const std::optional<io::FileError> refusal =
            io::CheckOutputTarget(out_path, io::OutputKind::keypoints, options.force)) {
        return Fail(err, "cannot write " + key_path + ": " + refusal->reason);
    }
    const ImageFile file = ReadImageFile(options.image_path);
    if (!file.error.empty()) return Fail(err, file.error);
    // Again for the file actually read (standard input, or a file replaced meanwhile).
    if (io::WouldOverwrite(out_path, file.file)) return input_image();
    const GreyImage image = DecodeGreyImage(file, options.image_path, options.max_pixels);
    if (!image.error.empty()) return Fail(err, image.error);

    if (options.threads > 0) cv::setNumThreads(DetectorThreads(options.threads));
    std::vector<SiftKeypoint> keys;
    try {
        keys = DetectKeypoints(image.grey, options.detector);
    } catch (const cv::Exception& e) {
        return Fail(err, "detection failed on " + image_path + ": " + e.err);
    }

    if (const std::optional<io::FileError> error =
            io::WriteFileAtomically(out_path, FormatKeyFile(keys))) {
        return Fail(err, "cannot write " + key_path + ": " + error->reason);
    }

    if (keys.empty()) {
        err << "siftkey: " << image_path << " (" << Size(image.grey)
            << "): no keypoints found; wrote " << key_path << " with count 0\n";
    } else {
        err << "siftkey: " << image_path << " (" << Size(image.grey) << "): " << keys.size()
            << (keys.size() == 1 ? " keypoint" : " keypoints") << " written to " << key_path
            << '\n';
    }
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
