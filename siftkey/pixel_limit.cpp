#include "siftkey/pixel_limit.h"

#include <cmath>

#include "image/image_header.h"

namespace siftkey {
namespace {

// A count of pixels in megapixels, or of bytes in GB or MB, rounded: "900 megapixels",
// "211 GB".
std::string Rounded(double value, const char* unit) {
    return std::to_string(std::llround(value)) + " " + unit;
}

std::string PixelsInWords(std::uint64_t pixels) {
    if (pixels < 1'000'000) return std::to_string(pixels) + " pixels";
    return Rounded(static_cast<double>(pixels) / 1e6, "megapixels");
}

std::string BytesInWords(double bytes) {
    if (bytes < 1e9) return Rounded(bytes / 1e6, "MB");
    return Rounded(std::floor(bytes / 1e9), "GB");
}

}  // namespace

std::optional<std::string> PixelLimitRefusal(std::uint64_t width, std::uint64_t height,
                                             std::uint64_t max_pixels) {
    // Sides come from a header of at most 32 bits each, so the product fits.
    const std::uint64_t pixels = width * height;
    if (pixels <= max_pixels) return std::nullopt;
    return std::to_string(width) + " x " + std::to_string(height) + " pixels (" +
           PixelsInWords(pixels) + ") would need about " +
           BytesInWords(static_cast<double>(pixels) * kDetectionBytesPerPixel) +
           " to detect keypoints; the limit is " + std::to_string(max_pixels) +
           " pixels (--max-pixels)";
}

std::optional<std::string> HeaderPixelLimitRefusal(std::string_view bytes,
                                                   std::uint64_t max_pixels) {
    const std::optional<image::ImageHeader> header = image::ReadImageHeader(bytes);
    if (!header) return std::nullopt;
    return PixelLimitRefusal(static_cast<std::uint64_t>(header->width),
                             static_cast<std::uint64_t>(header->height), max_pixels);
}

}  // namespace siftkey
