// How large a photograph siftkey takes: the detector's memory grows with the pixels, so an
// image is refused from its header, before its decoder allocates anything.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace siftkey {

// The default of --max-pixels: well above a 100-megapixel camera.
inline constexpr std::uint64_t kDefaultMaxPixels = 150'000'000;

// Bytes the detector holds per pixel of the photograph, about 235: its scale space is
// built on the image enlarged twice (4 pixels per pixel), 6 blurred levels and 5
// differences per octave in 4-byte floats (44 bytes), and the octaves after the first add
// a third (1/4 + 1/16 + ...): 4 x 44 x 4/3 = 704/3.
inline constexpr double kDetectionBytesPerPixel = 704.0 / 3.0;

// The refusal of an image of `width` x `height` pixels when they exceed `max_pixels`:
// "30000 x 30000 pixels (900 megapixels) would need about 211 GB to detect keypoints; the
// limit is 150000000 pixels (--max-pixels)"; nullopt when the image is within the limit.
std::optional<std::string> PixelLimitRefusal(std::uint64_t width, std::uint64_t height,
                                             std::uint64_t max_pixels);

// The refusal for the photograph whose file starts with `bytes`, from its header (PNG, JPEG
// or TIFF); nullopt when it is within the limit or its header is not one of these (the
// decoded image is checked with PixelLimitRefusal then).
std::optional<std::string> HeaderPixelLimitRefusal(std::string_view bytes,
                                                   std::uint64_t max_pixels);

}  // namespace siftkey
