#include "siftkey/run.h"

#include <sys/stat.h>

#include <new>
#include <opencv2/core.hpp>
#include <string>

#include "siftkey/detector.h"
#include "siftkey/grey_image.h"
#include "siftkey/key_writer.h"

namespace siftkey {
namespace {

int Fail(std::ostream& err, const std::string& message) {
    err << "siftkey: " << message << '\n';
    return kFailureStatus;
}

// True when `path` names the very file the image was read from: renaming the keypoint
// file over it would destroy the photograph.
bool IsTheImage(const GreyImage& image, const std::string& path) {
    struct stat st {};
    return image.regular && ::stat(path.c_str(), &st) == 0 && st.st_dev == image.device &&
           st.st_ino == image.inode;
}

std::string Size(const cv::Mat& m) {
    return std::to_string(m.cols) + " x " + std::to_string(m.rows) + " pixels";
}

int Run(const SiftkeyOptions& options, std::ostream& err) {
    const std::string& image_path = options.image_path;
    const std::string& key_path = options.key_path;
    if (options.threads > 0) cv::setNumThreads(options.threads);

    const GreyImage image = LoadGreyImage(image_path);
    if (!image.error.empty()) return Fail(err, image.error);
    if (IsTheImage(image, key_path)) {
        return Fail(err, "cannot write " + key_path + ": it is the input image");
    }

    std::vector<SiftKeypoint> keys;
    try {
        keys = DetectKeypoints(image.grey, options.detector);
    } catch (const cv::Exception& e) {
        return Fail(err, "detection failed on " + image_path + ": " + e.err);
    }

    const std::string write_error = WriteWholeFile(key_path, FormatKeyFile(keys));
    if (!write_error.empty()) return Fail(err, "cannot write " + key_path + ": " + write_error);

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
        return Fail(err, options.image_path + ": out of memory");
    } catch (const cv::Exception& e) {
        return Fail(err, options.image_path + ": " + e.err);
    }
}

}  // namespace siftkey
