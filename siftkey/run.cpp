#include "siftkey/run.h"

#include <new>
#include <opencv2/core.hpp>
#include <optional>
#include <string>

#include "io/atomic_file.h"
#include "io/file_error.h"
#include "io/file_identity.h"
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

int Run(const SiftkeyOptions& options, std::ostream& err) {
    const std::string image_path = io::ShownName(options.image_path, "standard input");
    const std::string key_path = io::ShownName(options.key_path, "standard output");
    if (options.threads > 0) cv::setNumThreads(options.threads);

    const GreyImage image = LoadGreyImage(options.image_path);
    if (!image.error.empty()) return Fail(err, image.error);
    // Renaming the keypoint file over the photograph would destroy it.
    if (io::WouldOverwrite(options.key_path, image.file)) {
        return Fail(err, "cannot write " + key_path + ": it is the input image");
    }

    std::vector<SiftKeypoint> keys;
    try {
        keys = DetectKeypoints(image.grey, options.detector);
    } catch (const cv::Exception& e) {
        return Fail(err, "detection failed on " + image_path + ": " + e.err);
    }

    if (const std::optional<io::FileError> error =
            io::WriteFileAtomically(options.key_path, FormatKeyFile(keys))) {
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
