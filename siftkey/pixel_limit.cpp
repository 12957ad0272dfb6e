#include "siftkey/pixel_limit.h"

#include <algorithm>
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

PixelSize DetectionSize(std::uint64_t width, std::uint64_t height, std::uint64_t max_side) {
    const std::uint64_t long_side = std::max(width, height);
    if (max_side == 0 || long_side <= max_side) return {width, height};
    const auto reduced = [&](std::uint64_t side) {
        const double exact = static_cast<double>(side) * static_cast<double>(max_side) /
                             static_cast<double>(long_side);
        return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(exact)));
    };
    return {width == long_side ? max_side : reduced(width),
            height == long_side ? max_side : reduced(height)};
}

double DetectionBytes(std::uint64_t width, std::uint64_t height, std::uint64_t max_side) {
    const PixelSize detected = DetectionSize(width, height, max_side);
    return static_cast<double>(width) * static_cast<double>(height) * kDecodingBytesPerPixel +
           static_cast<double>(detected.width) * static_cast<double>(detected.height) *
               kDetectionBytesPerPixel;
}

std::optional<std::string> PixelLimitRefusal(std::uint64_t width, std::uint64_t height,
                                             std::uint64_t max_pixels, std::uint64_t max_side) {
    // Sides come from a header of at most 32 bits each, so the product fits.
    const std::uint64_t pixels = width * height;
    if (pixels <= max_pixels) return std::nullopt;
    return std::to_string(width) + " x " + std::to_string(height) + " pixels (" +
           PixelsInWords(pixels) + ") would need about " +
           BytesInWords(DetectionBytes(width, height, max_side)) +
           " to detect keypoints; the limit is " + std::to_string(max_pixels) +
           " pixels (--max-pixels)";
}

std::optional<std::string> HeaderPixelLimitRefusal(std::string_view bytes, std::uint64_t max_pixels,
                                                   std::uint64_t max_side) {
    const std::optional<image::ImageHeader> header = image::ReadImageHeader(bytes);
    if (!header) return std::nullopt;
    return PixelLimitRefusal(static_cast<std::uint64_t>(header->width),
                             static_cast<std::uint64_t>(header->height), max_pixels, max_side);
}

}  // namespace siftkey
