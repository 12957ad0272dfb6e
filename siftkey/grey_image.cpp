#include "siftkey/grey_image.h"

#include <cctype>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/image_integrity.h"
#include "io/file_error.h"
#include "io/read_file.h"
#include "siftkey/stderr_capture.h"

namespace siftkey {
namespace {

constexpr char kDamaged[] = "the image data is truncated or damaged";

// The decoders' own limits (OpenCV's defaults), met only by formats whose header siftkey
// does not read: a larger image is refused before it is decoded.
constexpr std::uint64_t kDecoderMaxPixels = std::uint64_t{1} << 30;
constexpr std::uint64_t kDecoderMaxSide = std::uint64_t{1} << 20;

// The first line of a decoder's report on standard error that tells of damaged data
// (libjpeg's "Premature end of JPEG file", "Corrupt JPEG data: ...", libpng's errors), or
// "" when there is none. Other lines (libpng's warnings about a colour profile, say) do
// not make an image unusable and are dropped.
std::string DamageReported(const std::string& said) {
    static constexpr const char* kSigns[] = {"premature",    "corrupt", "truncat", "bogus",
                                             "libpng error", "invalid", "damaged"};
    std::size_t begin = 0;
    while (begin < said.size()) {
        std::size_t end = said.find('\n', begin);
        if (end == std::string::npos) end = said.size();
        std::string line = said.substr(begin, end - begin);
        std::string lower = line;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const char* sign : kSigns) {
            if (lower.find(sign) != std::string::npos) return line;
        }
        begin = end + 1;
    }
    return {};
}

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

ImageFile ReadImageFile(const std::string& path) {
    ImageFile image;
    const std::string shown = io::ShownName(path, "standard input");
    io::FileContents file = io::ReadWholeFile(path, kMaxImageFileBytes, "an image");
    image.file = file.identity;
    if (file.error) {
        const bool too_long = file.error->failure == io::FileFailure::too_long;
        image.error =
            "cannot read " + shown + ": " + (too_long ? "larger than 1 GiB" : file.error->reason);
    } else if (file.bytes.empty()) {
        image.error = shown + " is empty (0 bytes)";
    }
    image.bytes = std::move(file.bytes);
    return image;
}

GreyImage DecodeGreyImage(const ImageFile& file, const std::string& path, std::uint64_t max_pixels,
                          std::uint64_t max_side) {
    GreyImage image;
    const std::string shown = io::ShownName(path, "standard input");
    if (!file.error.empty()) {
        image.error = file.error;
        return image;
    }
    if (const auto refusal = HeaderPixelLimitRefusal(file.bytes, max_pixels, max_side)) {
        image.error = shown + ": " + *refusal;
        return image;
    }
    if (const auto why = image::WhyIncomplete(file.bytes)) {
        image.error = shown + ": " + kDamaged + " (" + *why + ")";
        return image;
    }
    cv::Mat decoded;
    std::string said;
    try {
        // The bytes are decoded where they lie (at most kMaxImageFileBytes, so the count
        // fits an int).
        const cv::Mat bytes(1, static_cast<int>(file.bytes.size()), CV_8U,
                            const_cast<char*>(file.bytes.data()));
        StderrCapture capture;
        decoded = cv::imdecode(
            bytes, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION);
        said = capture.Text();
    } catch (const cv::Exception& e) {
        image.error = "cannot decode " + shown + ": " + e.err;
        return image;
    }
    if (said.find("CV_IO_MAX_IMAGE") != std::string::npos) {
        image.error = shown + ": larger than the image decoders accept (more than " +
                      std::to_string(kDecoderMaxPixels) + " pixels, or a side of more than " +
                      std::to_string(kDecoderMaxSide) + ")";
        return image;
    }
    if (const std::string damage = DamageReported(said); !damage.empty()) {
        image.error = shown + ": " + kDamaged + " (the decoder says: " + damage + ")";
        return image;
    }
    if (decoded.empty()) {
        // The decoders recognise their formats by the first bytes of the file, which they
        // read again by name (standard input's file through /dev/stdin).
        const std::string name = path == "-" ? "/dev/stdin" : path;
        if (file.file.regular && !cv::haveImageReader(name)) {
            image.error =
                shown + " is not an image in a format siftkey reads (JPEG, PNG, TIFF, ...)";
        } else {
            image.error =
                "cannot decode " + shown + ": damaged, truncated or unsupported image data";
        }
        return image;
    }
    if (const auto refusal =
            PixelLimitRefusal(static_cast<std::uint64_t>(decoded.cols),
                              static_cast<std::uint64_t>(decoded.rows), max_pixels, max_side)) {
        image.error = shown + ": " + *refusal;
        return image;
    }
    std::string why;
    image.grey = ToGrey8(decoded, &why);
    if (image.grey.empty()) image.error = shown + ": " + why;
    return image;
}

GreyImage LoadGreyImage(const std::string& path, std::uint64_t max_pixels, std::uint64_t max_side) {
    return DecodeGreyImage(ReadImageFile(path), path, max_pixels, max_side);
}

}  // namespace siftkey
