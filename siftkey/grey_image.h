// Reading a photograph into the 8-bit grey image that the detector works on.
//
// Any format that OpenCV's image decoders read (JPEG, PNG and TIFF among them) with 8-
// or 16-bit samples, grey or colour. Pixels keep their place in the stored raster: an
// orientation tag in the file is not applied, so that positions refer to the camera's
// sensor, which is what the camera constants describe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>

#include "io/file_identity.h"
#include "siftkey/pixel_limit.h"

namespace siftkey {

// Files larger than this are refused before they are read whole into memory.
inline constexpr std::size_t kMaxImageFileBytes = std::size_t{1} << 30;

// The 8-bit grey version of a decoded image (CV_8U or CV_16U, 1, 3 or 4 channels in
// OpenCV's blue-green-red order). Colour becomes grey as 0.299 red + 0.587 green +
// 0.114 blue (alpha ignored); 16-bit samples map linearly onto 0..255 (v / 257, rounded),
// after the colour conversion. On an unsupported sample type returns an empty image and
// sets *error to the reason.
cv::Mat ToGrey8(const cv::Mat& decoded, std::string* error);

// A photograph's file read whole, not yet decoded.
struct ImageFile {
    std::string bytes;
    std::string error;      // empty on success; else the complete reason, naming the file
    io::FileIdentity file;  // of the file read, to refuse writing over it
};

// Reads `path` ("-": standard input, named so in messages) whole. Failures (unreadable,
// larger than kMaxImageFileBytes, empty) come back in `error`.
ImageFile ReadImageFile(const std::string& path);

struct GreyImage {
    cv::Mat grey;       // CV_8UC1, not empty on success
    std::string error;  // empty on success; else the complete reason, naming the file
};

// Decodes the photograph read from `path` into an 8-bit grey image. Refused, with the
// reason in `error` (whose memory estimate assumes detection on an image of long side
// `max_side`, see DetectionSize), before decoding: more than `max_pixels` pixels by the
// header of a PNG,
// JPEG or TIFF file, or a file of these formats whose structure shows it cut short or
// damaged; while decoding: a decoder's warning of damaged data (captured from standard
// error, never shown raw), data the decoder cannot read, more than `max_pixels` pixels in
// another format, unsupported samples. Never throws for bad input (std::bad_alloc may
// still escape).
GreyImage DecodeGreyImage(const ImageFile& file, const std::string& path, std::uint64_t max_pixels,
                          std::uint64_t max_side);

// ReadImageFile, then DecodeGreyImage.
GreyImage LoadGreyImage(const std::string& path, std::uint64_t max_pixels = kDefaultMaxPixels,
                        std::uint64_t max_side = kDefaultMaxSide);

}  // namespace siftkey
