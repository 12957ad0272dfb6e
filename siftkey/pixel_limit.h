// How large a photograph siftkey takes and on what size it detects: the memory grows with
// the pixels decoded and, much faster, with the pixels detected on, so an image is refused
// from its header, before its decoder allocates anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace siftkey {

// The default of --max-pixels: well above a 100-megapixel camera.
inline constexpr std::uint64_t kDefaultMaxPixels = 150'000'000;

// The default of --max-size: the long side of the image the detector works on. A 24-
// megapixel photograph (6000 x 4000) is detected on 2560 x 1707 pixels, in about 1 GB
// instead of 5.6 GB and a fifth of the time.
inline constexpr std::uint64_t kDefaultMaxSide = 2560;

// Bytes the detector holds per pixel of the image it works on, about 235: its scale space
// is built on the image enlarged twice (4 pixels per pixel), 6 blurred levels and 5
// differences per octave in 4-byte floats (44 bytes), and the octaves after the first add
// a third (1/4 + 1/16 + ...): 4 x 44 x 4/3 = 704/3.
inline constexpr double kDetectionBytesPerPixel = 704.0 / 3.0;

// Bytes per pixel of the photograph itself while it is decoded: 8-bit colour and its grey
// version.
inline constexpr double kDecodingBytesPerPixel = 4.0;

struct PixelSize {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
};

// The size the detector works on for a photograph of `width` x `height` pixels: the
// photograph's own when `max_side` is 0 or its long side is at most `max_side`; else
// reduced to a long side of `max_side`, the short side in proportion, rounded to the
// nearest whole pixel (at least 1).
PixelSize DetectionSize(std::uint64_t width, std::uint64_t height, std::uint64_t max_side);

// About how many bytes decoding a photograph of `width` x `height` pixels and detecting its
// keypoints on DetectionSize(width, height, max_side) need.
double DetectionBytes(std::uint64_t width, std::uint64_t height, std::uint64_t max_side);

// The refusal of an image of `width` x `height` pixels when they exceed `max_pixels`:
// "30000 x 30000 pixels (900 megapixels) would need about 5 GB to detect keypoints; the
// limit is 150000000 pixels (--max-pixels)", the memory for detection on
// DetectionSize(width, height, max_side); nullopt when the image is within the limit.
std::optional<std::string> PixelLimitRefusal(std::uint64_t width, std::uint64_t height,
                                             std::uint64_t max_pixels, std::uint64_t max_side);

// The refusal for the photograph whose file starts with `bytes`, from its header (PNG, JPEG
// or TIFF); nullopt when it is within the limit or its header is not one of these (the
// decoded image is checked with PixelLimitRefusal then).
std::optional<std::string> HeaderPixelLimitRefusal(std::string_view bytes, std::uint64_t max_pixels,
                                                   std::uint64_t max_side);

}  // namespace siftkey
