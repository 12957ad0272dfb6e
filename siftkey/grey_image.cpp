#include "siftkey/grey_image.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "io/file_error.h"
#include "io/read_file.h"

namespace siftkey {
namespace {

std::string DepthName(int depth) {
    switch (depth) {
        case CV_8S:
            return "8-bit signed";
        case CV_16S:
            return "16-bit signed";
        case CV_32S:
            return "32-bit integer";
        case CV_32F:
            return "32-bit floating-point";
        case CV_64F:
            return "64-bit floating-point";
        default:
            return "unsupported";
    }
}

}  // namespace

cv::Mat ToGrey8(const cv::Mat& decoded, std::string* error) {
    const int depth = decoded.depth();
    if (depth != CV_8U && depth != CV_16U) {
        *error = DepthName(depth) + " samples are not supported (8- or 16-bit only)";
        return {};
    }
    cv::Mat grey;
    switch (decoded.channels()) {
        case 1:
            grey = decoded;
            break;
        case 2:  // grey and alpha
            cv::extractChannel(decoded, grey, 0);
            break;
        case 3:
            cv::cvtColor(decoded, grey, cv::COLOR_BGR2GRAY);
            break;
        case 4:
            cv::cvtColor(decoded, grey, cv::COLOR_BGRA2GRAY);
            break;
        default:
            *error = std::to_string(decoded.channels()) + " channels are not supported";
            return {};
    }
    if (depth == CV_16U) {
        cv::Mat eight;
        grey.convertTo(eight, CV_8U, 1.0 / 257.0);
        return eight;
    }
    return grey.clone();
}

GreyImage LoadGreyImage(const std::string& path) {
    GreyImage image;
    const std::string shown = io::ShownName(path, "standard input");
    io::FileContents file = io::ReadWholeFile(path, kMaxImageFileBytes, "an image");
    image.file = file.identity;
    if (file.error) {
        const bool too_long = file.error->failure == io::FileFailure::too_long;
        image.error =
            "cannot read " + shown + ": " + (too_long ? "larger than 1 GiB" : file.error->reason);
        return image;
    }
    if (file.bytes.empty()) {
        image.error = shown + " is empty (0 bytes)";
        return image;
    }
    cv::Mat decoded;
    try {
        // The bytes are decoded where they lie (at most kMaxImageFileBytes, so the count
        // fits an int).
        const cv::Mat bytes(1, static_cast<int>(file.bytes.size()), CV_8U, file.bytes.data());
        decoded = cv::imdecode(
            bytes, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION);
    } catch (const cv::Exception& e) {
        image.error = "cannot decode " + shown + ": " + e.err;
        return image;
    }
    if (decoded.empty()) {
        // The decoders recognise their formats by the first bytes of the file, which they
        // read again by name (standard input's file through /dev/stdin).
        const std::string name = path == "-" ? "/dev/stdin" : path;
        if (file.identity.regular && !cv::haveImageReader(name)) {
            image.error =
                shown + " is not an image in a format siftkey reads (JPEG, PNG, TIFF, ...)";
        } else {
            image.error =
                "cannot decode " + shown + ": damaged, truncated or unsupported image data";
        }
        return image;
    }
    std::string why;
    image.grey = ToGrey8(decoded, &why);
    if (image.grey.empty()) image.error = shown + ": " + why;
    return image;
}

}  // namespace siftkey
